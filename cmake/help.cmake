# Compiles the HTML help sources into a compiled help file with chmcmd.
find_program(CHMCMD_EXECUTABLE chmcmd REQUIRED)

# mervik_compile_help(TARGET name PROJECT file.hhp OUTPUT path SOURCES files...)
# The project's folder is copied to a work folder of the build tree, as
# chmcmd writes beside the project file; SOURCES (relative to that folder)
# are what the result depends on.
function(mervik_compile_help)
  cmake_parse_arguments(arg "" "TARGET;PROJECT;OUTPUT" "SOURCES" ${ARGN})
  get_filename_component(src_dir ${arg_PROJECT} DIRECTORY)
  get_filename_component(project_name ${arg_PROJECT} NAME)
  get_filename_component(out_name ${arg_OUTPUT} NAME)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${arg_TARGET})
  set(inputs ${arg_PROJECT})
  foreach(f ${arg_SOURCES})
    list(APPEND inputs ${src_dir}/${f})
  endforeach()
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${src_dir} ${work}
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${CHMCMD_EXECUTABLE} ${project_name}
    COMMAND ${CMAKE_COMMAND} -E copy ${work}/${out_name} ${arg_OUTPUT}
    DEPENDS ${inputs}
    COMMENT "Compiling ${out_name}"
    VERBATIM)
  add_custom_target(${arg_TARGET} ALL DEPENDS ${arg_OUTPUT})
endfunction()
