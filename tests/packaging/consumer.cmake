# Runs one packaging check (cmake -P), MODE being:
#   install       cmake --install BUILD_DIR into PREFIX (fresh)
#   find_package  configure, build and run a consumer of the installed package
#   subdirectory  the same for a consumer that embeds SOURCE_DIR
#   pkgconfig     compile the consumer with `pkg-config --cflags --libs`, run it
# Other variables: WORK_DIR, GENERATOR, CXX, BUILD_TYPE, SANITIZE, SAMPLE.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${result}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(flags "")
if(SANITIZE)
  # A sanitized library needs sanitized consumers (the runtime comes first).
  set(flags "-fsanitize=address,undefined")
endif()
set(consumer_source "${CMAKE_CURRENT_LIST_DIR}/consumer.cpp")

if(MODE STREQUAL "install")
  file(REMOVE_RECURSE "${PREFIX}")
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")
  foreach(expected include/KivComtradeLib/Export.h include/KivComtradeLib/Comtrade.h
          bin/comtrade-info bin/comtrade-plot share/KivComtradeLib/samples/fault-slg-binary.cfg)
    if(NOT EXISTS "${PREFIX}/${expected}")
      message(FATAL_ERROR "${expected} was not installed")
    endif()
  endforeach()
  # The installed tools find the installed library and samples on their own.
  run("${PREFIX}/bin/comtrade-info" --json)
  if(NOT run_output MATCHES "share/KivComtradeLib/samples/fault-slg-binary.cfg")
    message(FATAL_ERROR "installed comtrade-info did not open the installed sample:\n${run_output}")
  endif()

elseif(MODE STREQUAL "find_package" OR MODE STREQUAL "subdirectory")
  file(REMOVE_RECURSE "${WORK_DIR}")
  set(args -S "${CMAKE_CURRENT_LIST_DIR}/${MODE}" -B "${WORK_DIR}" -G "${GENERATOR}"
      "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
      "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
  if(MODE STREQUAL "find_package")
    list(APPEND args "-DCMAKE_PREFIX_PATH=${PREFIX}")
  else()
    list(APPEND args "-DKIVCOMTRADE_SOURCE=${SOURCE_DIR}" "-DKIVCOMTRADE_SANITIZE=${SANITIZE}")
  endif()
  run("${CMAKE_COMMAND}" ${args})
  run("${CMAKE_COMMAND}" --build "${WORK_DIR}" -j 2)
  if(MODE STREQUAL "find_package")
    file(READ "${WORK_DIR}/sample-path.txt" SAMPLE)
  endif()
  run("${WORK_DIR}/consumer" "${SAMPLE}")
  message(STATUS "${run_output}")

elseif(MODE STREQUAL "pkgconfig")
  file(GLOB_RECURSE pc_files "${PREFIX}/*/kivcomtradelib.pc")
  if(NOT pc_files)
    message(FATAL_ERROR "kivcomtradelib.pc is not installed under ${PREFIX}")
  endif()
  list(GET pc_files 0 pc_file)
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  run(pkg-config --cflags --libs kivcomtradelib)
  string(STRIP "${run_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  run(pkg-config --variable=libdir kivcomtradelib)
  string(STRIP "${run_output}" libdir)
  file(MAKE_DIRECTORY "${WORK_DIR}")
  separate_arguments(extra UNIX_COMMAND "${flags}")
  # As the README shows it: the library's folder as the program's run path.
  run("${CXX}" -std=c++17 ${extra} "${consumer_source}" ${pc_flags} "-Wl,-rpath,${libdir}"
      -o "${WORK_DIR}/consumer")
  run("${WORK_DIR}/consumer" "${SAMPLE}")
  message(STATUS "${run_output}")

else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
