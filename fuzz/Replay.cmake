# Replays the seed corpus of every fuzz target, and its regression inputs, as
# tests: fuzz/corpus/<Name>Fuzzer/ and fuzz/regressions/<Name>Fuzzer/. The
# targets that read whole documents also replay the real PDFs in fuzz/corpus/pdf/
# (and the stamp target the document target's seeds). With
# BREVANO_FUZZ the fuzz targets themselves replay them; otherwise each target
# is built once more with the standalone runner, as <Name>FuzzerReplay.
# Included by the top-level CMakeLists.txt after the fuzz directory.

set(BREVANO_PDF_SEED_TARGETS XRefFuzzer DocumentFuzzer StampFuzzer)

if(BREVANO_TESTS)
  file(GLOB _replay_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*Fuzzer.cpp)
  foreach(_source IN LISTS _replay_sources)
    get_filename_component(_name ${_source} NAME_WE)
    if(BREVANO_FUZZ)
      set(_runner ${_name})
    else()
      set(_runner ${_name}Replay)
      add_executable(${_runner} ${_source} ${CMAKE_CURRENT_LIST_DIR}/StandaloneRunner.cpp)
      target_link_libraries(${_runner} PRIVATE brevano_core brevano_warnings)
    endif()

    set(_inputs "")
    foreach(_dir corpus regressions)
      if(IS_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/${_dir}/${_name})
        list(APPEND _inputs ${CMAKE_CURRENT_LIST_DIR}/${_dir}/${_name})
      endif()
    endforeach()
    if(_name IN_LIST BREVANO_PDF_SEED_TARGETS)
      list(APPEND _inputs ${CMAKE_CURRENT_LIST_DIR}/corpus/pdf)
    endif()
    # The whole stamp starts from the documents the document target starts from.
    if(_name STREQUAL "StampFuzzer")
      list(APPEND _inputs ${CMAKE_CURRENT_LIST_DIR}/corpus/DocumentFuzzer)
    endif()
    if(NOT _inputs)
      continue()
    endif()

    if(BREVANO_FUZZ AND BREVANO_LIBFUZZER)
      # -runs=0: run the given inputs once each, then stop without fuzzing.
      add_test(NAME fuzz.replay.${_name} COMMAND ${_runner} -runs=0 ${_inputs})
    else()
      add_test(NAME fuzz.replay.${_name} COMMAND ${_runner} ${_inputs})
    endif()
    set_tests_properties(fuzz.replay.${_name} PROPERTIES TIMEOUT 600 LABELS fuzz)
  endforeach()
endif()
