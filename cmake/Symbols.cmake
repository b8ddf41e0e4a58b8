# Release executables carry no debug information; their symbols go to a file beside them.
#
# ambrel_separate_symbols(target)
#   MinGW: as the last part of the link step the symbols are copied to <exe>.debug, the
#   executable is stripped and given a debug link (file name and checksum) to that file, which
#   GDB follows. The debug information comes from the static run-time libraries: some 420 KB that
#   every running copy would otherwise map.
#   MSVC: the executable never holds debug information; every object is compiled with it
#   (/Zi, for all our targets) and /DEBUG collects it in <exe>.pdb.
if(MSVC AND NOT DEFINED CMAKE_MSVC_DEBUG_INFORMATION_FORMAT)
    set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase)
endif()

function(ambrel_separate_symbols target)
    if(MSVC)
        # /DEBUG would otherwise turn off the removal and folding of unused code.
        target_link_options(${target} PRIVATE $<$<CONFIG:Release>:/DEBUG /OPT:REF /OPT:ICF>)
    elseif(CMAKE_BUILD_TYPE STREQUAL "Release")
        if(NOT CMAKE_OBJCOPY)
            message(FATAL_ERROR "objcopy not found (binutils): needed to strip Release executables")
        endif()
        set(exe $<TARGET_FILE:${target}>)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
            COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
            COMMENT "Moving the symbols of ${target} to a file of their own"
            VERBATIM)
    endif()
endfunction()

# ambrel_symbols_package(target zip_name)
#   The custom target symbols_package packs <exe>.debug into zip_name in the build directory,
#   to be kept beside the release package for debugging a release build (MinGW Release only).
function(ambrel_symbols_package target zip_name)
    if(MSVC OR NOT CMAKE_BUILD_TYPE STREQUAL "Release")
        return()
    endif()
    add_custom_target(symbols_package
        COMMAND ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/${zip_name} --format=zip
                $<TARGET_FILE_NAME:${target}>.debug
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "Packing the symbols of ${target} into ${zip_name}"
        VERBATIM)
    add_dependencies(symbols_package ${target})
endfunction()
