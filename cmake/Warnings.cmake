# Every target links this: warnings on, and none left.
add_library(brevano_warnings INTERFACE)
target_compile_options(brevano_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion-null)
