# pdh.dll and powrprof.dll are not among the system's known DLLs: imported plainly, they would
# be looked for in the executable's folder first, so a same-named file planted beside
# Ambrel.exe would run with the user's rights. They are delay-loaded instead: at the first call
# of any of their functions, the program's delay-load hooks (app/SystemLibraries.cpp) load the
# library by its full system-directory path, and answer every function of a library that cannot
# be loaded with a failure status. A function added to a .def file below is covered as it is.
#
# ambrel_delay_load(target dll...)
function(ambrel_delay_load target)
    foreach(dll ${ARGN})
        if(MSVC)
            target_link_libraries(${target} PUBLIC ${dll} delayimp)
            target_link_options(${target} PUBLIC /DELAYLOAD:${dll}.dll)
        else()
            set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
            set(def ${PROJECT_SOURCE_DIR}/cmake/delayload/${dll}.def)
            add_custom_command(
                OUTPUT ${library}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
                COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${library}
                DEPENDS ${def}
                COMMENT "Delay-load import library for ${dll}.dll"
                VERBATIM)
            add_custom_target(${dll}_delay DEPENDS ${library})
            add_dependencies(${target} ${dll}_delay)
            target_link_libraries(${target} PUBLIC ${library})
        endif()
    endforeach()
    if(NOT MSVC)
        target_link_libraries(${target} PUBLIC delayimp)
    endif()
endfunction()
