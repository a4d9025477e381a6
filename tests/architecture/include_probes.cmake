# Builds the include probes of tests/architecture/CMakeLists.txt: those in
# FOUND must compile; each of those in HIDDEN must fail, and fail because the
# header it names is not found, not for any other reason.
#
#   cmake -DBUILD_DIR=... -DPROBE_DIR=... -DFOUND=a,b -DHIDDEN=c,d -P include_probes.cmake
string(REPLACE "," ";" FOUND "${FOUND}")
string(REPLACE "," ";" HIDDEN "${HIDDEN}")
set(faults 0)

function(build_probe target result_var output_var include_var)
  string(REGEX REPLACE "^probe_" "" name "${target}")
  file(READ ${PROBE_DIR}/${name}.cpp text)
  string(REGEX REPLACE "^#include ([^\n]*)\n$" "\\1" include "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
  set(${include_var} "${include}" PARENT_SCOPE)
endfunction()

foreach(target IN LISTS FOUND)
  build_probe(${target} result output include)
  if(NOT result EQUAL 0)
    message("${target}: #include ${include} should compile and does not:\n${output}")
    math(EXPR faults "${faults} + 1")
  endif()
endforeach()

foreach(target IN LISTS HIDDEN)
  build_probe(${target} result output include)
  string(REGEX REPLACE "^[\"<](.*)[\">]$" "\\1" header "${include}")
  string(REGEX REPLACE "([.+])" "\\\\\\1" header_pattern "${header}")
  if(result EQUAL 0)
    message("${target}: #include ${include} compiles, and its library may not include it")
    math(EXPR faults "${faults} + 1")
  elseif(NOT output MATCHES "${header_pattern}[^\n]*(No such file or directory|file not found)")
    message("${target}: #include ${include} fails, but not for want of the header:\n${output}")
    math(EXPR faults "${faults} + 1")
  endif()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include probe(s) not as the edges say")
endif()
list(LENGTH FOUND found)
list(LENGTH HIDDEN hidden)
message("${found} allowed includes compile, ${hidden} across a forbidden edge are not found")
