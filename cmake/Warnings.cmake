# Compiler settings shared by every target of our own (third-party code is left alone).
function(ambrel_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
        target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
    endif()
endfunction()

# Product code: no exceptions, warnings as errors, and standard C++ only (-Wpedantic reports
# GCC's and clang's extensions, which MSVC would not take).
function(ambrel_product target)
    ambrel_warnings(${target})
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -fno-exceptions -Wpedantic)
        # A resident program whose busiest path runs once every 2 s is built for size: under
        # Wine every byte of its image is private memory of each running copy. What nothing
        # calls is left out of the image (for a library, of whatever links it).
        target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-Os -ffunction-sections>)
        get_target_property(kind ${target} TYPE)
        if(kind STREQUAL "STATIC_LIBRARY")
            target_link_options(${target} INTERFACE $<$<CONFIG:Release>:-Wl,--gc-sections>)
        else()
            target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-Wl,--gc-sections>)
        endif()
    endif()
endfunction()

# Windows executables are self-contained: the C and C++ run-time libraries are linked in.
function(ambrel_static_runtime target)
    if(MSVC)
        set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    elseif(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
endfunction()
