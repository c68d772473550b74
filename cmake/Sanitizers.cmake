# The sanitizer build: AddressSanitizer and UndefinedBehaviorSanitizer, any error fatal.
add_library(brevano_sanitizers INTERFACE)
if(BREVANO_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(brevano_sanitizers INTERFACE ${_san})
  target_link_options(brevano_sanitizers INTERFACE ${_san})
endif()
