# `cpack -G DEB` in a build folder makes brevano_<version>_<arch>.deb: the
# program in /usr/bin and its manual page, depending on the C and C++ runtimes,
# zlib, libdeflate, libspng, HarfBuzz, fontconfig, GNU FriBidi and Nettle as
# dpkg-shlibdeps finds them (Debian package dpkg-dev).
set(CPACK_PACKAGE_NAME brevano)
set(CPACK_PACKAGE_VENDOR "Brevano maintainers")
set(CPACK_PACKAGE_CONTACT "Brevano maintainers <maintainers@users.noreply.c-seed-979df214.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stamp page numbers, text or a picture on existing PDF files")
set(CPACK_PACKAGE_DESCRIPTION
    "Brevano stamps existing PDF files from the command line: a line of text such\n"
    "as 'Page 3 / 12' on selected pages (page numbers, Bates numbers, 2-up and\n"
    "A/B 2-up numbering, Roman numerals, 161 built-in font metrics), or a JPEG\n"
    "or PNG picture on every page, at a chosen position, size and opacity.\n"
    "It copies every object of the input byte for byte and edits only the\n"
    "stamped pages, so it is exact and fast on large documents.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
