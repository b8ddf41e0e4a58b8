# Every Windows-side test runs under Wine in a "slot": a Wine prefix with its own wineserver and
# Xvfb display, so that several tests run at once without meeting (one tray, one registry, one
# %TEMP% each). scripts/test makes the slots and hands CTest a resource file with one `wine`
# resource per slot; a test that asks for `wine:1` gets a slot id in CTEST_RESOURCE_GROUP_0_WINE,
# from which scripts/wine-exec and tests/e2e/ambrel_harness.py take DISPLAY and WINEPREFIX.
#
# Included before the test folders and the benchmarks: from then on every test added with
# add_test() in this build asks for a slot, whatever folder adds it (a function is seen in every
# folder processed after its definition), and the GoogleTest cases get theirs through
# AMBREL_WINE_SLOT_PROPERTIES (a variable, seen in the including folder and those below it).
set(AMBREL_WINE_SLOT_PROPERTIES RESOURCE_GROUPS wine:1)

function(add_test)
    _add_test(${ARGV})
    if(ARGV0 STREQUAL "NAME")
        set(test_name ${ARGV1})
    else()
        set(test_name ${ARGV0})
    endif()
    set_tests_properties(${test_name} PROPERTIES RESOURCE_GROUPS wine:1)
endfunction()
