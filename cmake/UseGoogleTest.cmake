# GoogleTest for the tests: an installed package (find_package), else the sources that Debian's
# googletest package installs. Nothing is downloaded. Sets AMBREL_HAVE_GTEST; without GoogleTest
# the configure step says so and the product is built without the tests.
set(AMBREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(AMBREL_HAVE_GTEST OFF)
find_package(GTest QUIET)
if(TARGET GTest::gtest_main)
    set(AMBREL_HAVE_GTEST ON)
elseif(EXISTS ${AMBREL_GTEST_SOURCE}/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    # The tests link the static run-time library, as the program does (Warnings.cmake).
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(${AMBREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(AMBREL_HAVE_GTEST ON)
else()
    message(STATUS "GoogleTest not found (no GTest package, no sources in ${AMBREL_GTEST_SOURCE}): building without the tests")
endif()
if(AMBREL_HAVE_GTEST)
    include(GoogleTest)
endif()
