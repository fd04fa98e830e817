# GoogleTest for the cross build: no packaged MinGW library exists, so it is built here from
# Debian's sources (package googletest, /usr/src/googletest). Gives GTest::gtest, gtest_main,
# gmock and gmock_main like find_package(GTest) does, with gtest's own warnings not errors.
set(VELMOR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${VELMOR_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VELMOR_GTEST_SOURCE_DIR}: "
                      "install the googletest package (scripts/install-deps.sh windows)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VELMOR_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()
