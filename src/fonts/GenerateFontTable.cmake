# Turns fonts.tsv into the C++ source of the built-in font metrics table.
#
#   cmake -DIN=<fonts.tsv> -DOUT=<FontMetricsData.cpp> -P GenerateFontTable.cmake
#
# fonts.tsv: one header line, then one line per row in table order with the
# tab-separated columns index, name, bbox (4 integers), widths (256 integers),
# descriptor (ascent, descent, cap height and stem width: 4 integers, each "-"
# where the font's metrics publish none), style (words from bold, italic,
# serif and symbolic, or "-") and source (ignored here). Any deviation from
# that shape stops the build: the generated file is written only when every
# row has been checked.

cmake_minimum_required(VERSION 3.25)

set(EXPECTED_ROWS 161)
set(BBOX_COUNT 4)
set(WIDTH_COUNT 256)
set(NUMBERS_PER_LINE 16)
# Zero, or an optional minus sign and one to nine digits without a leading zero
# (which C++ would read as octal): always fits in 32 bits.
set(INTEGER_REGEX "^(0|-?[1-9][0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?)$")
set(DESCRIPTOR_COUNT 4)
set(STYLE_WORDS bold italic serif symbolic)
set(HEADER_LINE "index\tname\tbbox\twidths\tdescriptor\tstyle\tsource")

if(NOT DEFINED IN OR NOT DEFINED OUT)
  message(FATAL_ERROR "usage: cmake -DIN=<fonts.tsv> -DOUT=<FontMetricsData.cpp> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

# Never leave an old table behind when this run fails.
file(REMOVE "${OUT}")

if(NOT EXISTS "${IN}")
  message(FATAL_ERROR "${IN}: no such file")
endif()
file(READ "${IN}" content)

# The characters that are special in CMake lists may only occur in the ignored
# source column; turn them into '?' so that the line split below is exact and
# any of them in a checked column is rejected by the checks.
string(REPLACE "\\" "?" content "${content}")
string(REPLACE ";" "?" content "${content}")
string(REPLACE "[" "?" content "${content}")
string(REPLACE "]" "?" content "${content}")
string(REPLACE "\r" "" content "${content}")
string(REGEX REPLACE "\n$" "" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

list(LENGTH lines line_count)
if(line_count EQUAL 0)
  message(FATAL_ERROR "${IN}: empty file")
endif()
list(POP_FRONT lines header)
if(NOT header STREQUAL HEADER_LINE)
  message(FATAL_ERROR "${IN}:1: the header line must be the columns index, name, bbox, widths, descriptor, style, source")
endif()

list(LENGTH lines row_count)
if(NOT row_count EQUAL EXPECTED_ROWS)
  message(FATAL_ERROR "${IN}: ${row_count} rows, expected ${EXPECTED_ROWS}")
endif()

# Checks that <list_var> holds exactly <count> integers; fails with <what>.
function(check_integers list_var count what)
  set(values "${${list_var}}")
  list(LENGTH values length)
  if(NOT length EQUAL count)
    message(FATAL_ERROR "${what}: ${length} numbers, expected ${count}")
  endif()
  list(FILTER values EXCLUDE REGEX "${INTEGER_REGEX}")
  if(values)
    list(GET values 0 bad)
    message(FATAL_ERROR "${what}: '${bad}' is not an integer")
  endif()
endfunction()

# The descriptor's values as C++: "-" becomes kFontMetricUnpublished.
function(descriptor_text descriptor where out_var)
  string(REPLACE " " ";" values "${descriptor}")
  set(numbers "${values}")
  list(FILTER numbers EXCLUDE REGEX "^-$")
  list(LENGTH values length)
  if(NOT length EQUAL DESCRIPTOR_COUNT)
    message(FATAL_ERROR "${where}: ${length} descriptor values, expected ${DESCRIPTOR_COUNT}")
  endif()
  list(LENGTH numbers number_count)
  check_integers(numbers ${number_count} "${where}")
  list(TRANSFORM values REPLACE "^-$" "kFontMetricUnpublished")
  list(JOIN values ", " text)
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# The style words as C++ flags: "kFontBold | kFontSerif", or 0 for "-".
function(style_text style where out_var)
  if(style STREQUAL "-")
    set(${out_var} "0" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE " " ";" words "${style}")
  set(flags "")
  foreach(word IN LISTS words)
    if(NOT word IN_LIST STYLE_WORDS)
      message(FATAL_ERROR "${where}: style word '${word}' is not one of ${STYLE_WORDS}")
    endif()
    string(SUBSTRING "${word}" 0 1 first)
    string(TOUPPER "${first}" first)
    string(SUBSTRING "${word}" 1 -1 rest)
    list(APPEND flags "kFont${first}${rest}")
  endforeach()
  list(JOIN flags " | " text)
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

set(blocks "")
set(descriptors "")
set(styles "")
set(names "")
set(seen_names "")
set(index 0)
foreach(line IN LISTS lines)
  math(EXPR index "${index} + 1")
  math(EXPR line_number "${index} + 1")
  set(where "${IN}:${line_number}")

  string(REPLACE "\t" ";" fields "${line}")
  list(LENGTH fields field_count)
  if(NOT field_count EQUAL 7)
    message(FATAL_ERROR "${where}: ${field_count} columns, expected 7")
  endif()
  list(GET fields 0 row_index)
  list(GET fields 1 name)
  list(GET fields 2 bbox)
  list(GET fields 3 widths)
  list(GET fields 4 descriptor)
  list(GET fields 5 style)

  if(NOT row_index STREQUAL index)
    message(FATAL_ERROR "${where}: index '${row_index}', expected ${index}")
  endif()
  if(NOT name MATCHES "^[A-Za-z0-9-]+$")
    message(FATAL_ERROR "${where}: font name '${name}' must consist of letters, digits and hyphens")
  endif()
  if(name IN_LIST seen_names)
    message(FATAL_ERROR "${where}: font name '${name}' occurs twice")
  endif()
  list(APPEND seen_names "${name}")

  string(REPLACE " " ";" bbox_values "${bbox}")
  check_integers(bbox_values ${BBOX_COUNT} "${where}: bbox of ${name}")
  string(REPLACE " " ";" width_values "${widths}")
  check_integers(width_values ${WIDTH_COUNT} "${where}: widths of ${name}")

  list(JOIN bbox_values ", " bbox_text)
  string(APPEND blocks "    // ${index}: ${name}\n    {{\n        ${bbox_text},\n")
  foreach(first RANGE 0 255 ${NUMBERS_PER_LINE})
    list(SUBLIST width_values ${first} ${NUMBERS_PER_LINE} chunk)
    list(JOIN chunk ", " chunk_text)
    string(APPEND blocks "        ${chunk_text},\n")
  endforeach()
  string(APPEND blocks "    }},\n")
  string(APPEND names "    \"${name}\",\n")
  descriptor_text("${descriptor}" "${where}: descriptor of ${name}" descriptor_values)
  string(APPEND descriptors "    {{${descriptor_values}}},  // ${name}\n")
  style_text("${style}" "${where}: style of ${name}" style_flags)
  string(APPEND styles "    ${style_flags},  // ${name}\n")
endforeach()

get_filename_component(input_name "${IN}" NAME)
get_filename_component(script_name "${CMAKE_CURRENT_LIST_FILE}" NAME)
file(WRITE "${OUT}" "\
// Generated from ${input_name} by ${script_name}. Do not edit: change ${input_name}.

#include \"fonts/FontMetricsData.h\"

static_assert(kFontMetricsRowCount == ${EXPECTED_ROWS}, \"${input_name} holds ${EXPECTED_ROWS} rows\");

constinit const std::array<FontMetricsBlock, kFontMetricsRowCount> kFontMetricsBlocks = {{
${blocks}}};

constinit const std::array<std::string_view, kFontMetricsRowCount> kFontMetricsNames = {{
${names}}};

constinit const std::array<FontDescriptorBlock, kFontMetricsRowCount> kFontDescriptorBlocks = {{
${descriptors}}};

constinit const std::array<uint32_t, kFontMetricsRowCount> kFontStyles = {{
${styles}}};
")
