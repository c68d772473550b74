# Sets the widths of the twelve PostScript text fonts in fonts.tsv (Courier,
# Helvetica and Times, four styles each) from AFM files, in the order of the
# Windows ANSI encoding the font objects declare: code c gets the width of the
# glyph that encoding names at c.
#
#   cmake -DTSV=<fonts.tsv> -DAFM_DIR=<folder> -P ImportAfmWidths.cmake
#
# The folder holds Adobe's Core 14 AFM files (Helvetica.afm, ...) or the
# metric-compatible ones of URW's base 35 fonts (Debian's fonts-urw-base35:
# /usr/share/fonts/type1/urw-base35, NimbusSans-Regular.afm, ...). Codes 0 to
# 31 and the codes the encoding leaves empty (127, 129, 141, 143, 144, 157) keep
# what the row has. A glyph missing from an AFM file stops the script before
# anything is written. Run by hand when the metrics are to be checked or
# refreshed; the build reads fonts.tsv alone.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED TSV OR NOT DEFINED AFM_DIR)
  message(FATAL_ERROR "usage: cmake -DTSV=<fonts.tsv> -DAFM_DIR=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

# The glyph names of the Windows ANSI encoding for codes 32 to 255; "-" where
# it names none. Code 160 is the space and 173 the hyphen.
set(WIN_ANSI_NAMES
  space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright asterisk plus comma
  hyphen period slash zero one two three four five six seven eight nine colon semicolon less equal greater
  question at A B C D E F G H I J K L M N O P Q R S T U V W X Y Z bracketleft backslash bracketright asciicircum
  underscore grave a b c d e f g h i j k l m n o p q r s t u v w x y z braceleft bar braceright asciitilde -
  Euro - quotesinglbase florin quotedblbase ellipsis dagger daggerdbl circumflex perthousand Scaron guilsinglleft
  OE - Zcaron - - quoteleft quoteright quotedblleft quotedblright bullet endash emdash tilde trademark scaron
  guilsinglright oe - zcaron Ydieresis space exclamdown cent sterling currency yen brokenbar section dieresis
  copyright ordfeminine guillemotleft logicalnot hyphen registered macron degree plusminus twosuperior
  threesuperior acute mu paragraph periodcentered cedilla onesuperior ordmasculine guillemotright onequarter
  onehalf threequarters questiondown Agrave Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute
  Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde Ograve Oacute Ocircumflex Otilde
  Odieresis multiply Oslash Ugrave Uacute Ucircumflex Udieresis Yacute Thorn germandbls agrave aacute acircumflex
  atilde adieresis aring ae ccedilla egrave eacute ecircumflex edieresis igrave iacute icircumflex idieresis eth
  ntilde ograve oacute ocircumflex otilde odieresis divide oslash ugrave uacute ucircumflex udieresis yacute
  thorn ydieresis)
list(LENGTH WIN_ANSI_NAMES name_count)
if(NOT name_count EQUAL 224)
  message(FATAL_ERROR "the encoding table holds ${name_count} names, expected 224")
endif()

# Row name, then the URW file name of the same metrics.
set(ROWS
  Courier NimbusMonoPS-Regular Courier-Bold NimbusMonoPS-Bold Courier-Oblique NimbusMonoPS-Italic
  Courier-BoldOblique NimbusMonoPS-BoldItalic Helvetica NimbusSans-Regular Helvetica-Bold NimbusSans-Bold
  Helvetica-Oblique NimbusSans-Italic Helvetica-BoldOblique NimbusSans-BoldItalic Times-Roman NimbusRoman-Regular
  Times-Bold NimbusRoman-Bold Times-Italic NimbusRoman-Italic Times-BoldItalic NimbusRoman-BoldItalic)

# The 256 widths of row `row` in Windows ANSI order, starting from `widths`.
function(encode_row row urw widths out_var)
  set(afm "${AFM_DIR}/${row}.afm")
  if(NOT EXISTS "${afm}")
    set(afm "${AFM_DIR}/${urw}.afm")
  endif()
  if(NOT EXISTS "${afm}")
    message(FATAL_ERROR "${row}: neither ${row}.afm nor ${urw}.afm in ${AFM_DIR}")
  endif()
  file(STRINGS "${afm}" metrics REGEX "^C -?[0-9]+ ; WX [0-9]+ ; N [^ ;]+ ;")
  foreach(line IN LISTS metrics)
    string(REGEX REPLACE "^C -?[0-9]+ ; WX ([0-9]+) ; N ([^ ;]+) ;.*" "\\2;\\1" pair "${line}")
    list(GET pair 0 glyph)
    list(GET pair 1 width)
    set("width_${glyph}" "${width}")
  endforeach()
  set(code 32)
  foreach(glyph IN LISTS WIN_ANSI_NAMES)
    if(NOT glyph STREQUAL "-")
      if(NOT DEFINED "width_${glyph}")
        message(FATAL_ERROR "${afm}: no glyph ${glyph} for code ${code}")
      endif()
      list(REMOVE_AT widths ${code})
      list(INSERT widths ${code} "${width_${glyph}}")
    endif()
    math(EXPR code "${code} + 1")
  endforeach()
  set(${out_var} "${widths}" PARENT_SCOPE)
endfunction()

file(STRINGS "${TSV}" lines)
set(result "")
foreach(line IN LISTS lines)
  string(REPLACE "\t" ";" fields "${line}")
  list(GET fields 1 name)
  list(FIND ROWS "${name}" at)
  math(EXPR parity "${at} % 2")
  if(at GREATER_EQUAL 0 AND parity EQUAL 0)
    math(EXPR urw_at "${at} + 1")
    list(GET ROWS ${urw_at} urw)
    list(GET fields 3 widths)
    string(REPLACE " " ";" widths "${widths}")
    encode_row("${name}" "${urw}" "${widths}" widths)
    list(JOIN widths " " widths)
    list(REMOVE_AT fields 3)
    list(INSERT fields 3 "${widths}")
    list(JOIN fields "\t" line)
  endif()
  string(APPEND result "${line}\n")
endforeach()
file(WRITE "${TSV}" "${result}")
