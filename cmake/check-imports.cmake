# velmor_check_imports(TARGET): after each link of a Windows program, fails the build when the
# program imports at load time a library outside the system's known libraries
# (scripts/check-imports.sh holds the list).
function(velmor_check_imports target)
  if(NOT WIN32)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-imports.sh ${CMAKE_OBJDUMP}
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
