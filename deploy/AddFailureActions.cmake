# cmake -DMSI=<package> -DIDT=<MsiServiceConfigFailureActions.idt>,<MsiLockPermissionsEx.idt>
#   -DMSIINFO=... -DMSIBUILD=... -P AddFailureActions.cmake
#
# wixl writes neither the service's access list nor its recovery settings; msitools adds both
# tables to the built package (IDT: a comma-separated list of table files).
#
# MsiLockPermissionsEx gives the service an access list of its own at install: without one, the
# Service Control Manager's default lets every authenticated user send the service its own
# controls (the pause). Windows Installer 5 (Windows 7) on reads it while it installs services;
# an older one ignores the table.
#
# wixl writes no MsiServiceConfigFailureActions table, which gives the service its restarts after
# a crash at install (restart after 5 s, again after 5 s, then nothing until a day without a
# failure; event 1: at install only, so a repair leaves an administrator's own settings alone).
# msitools adds it to the built package, with the standard action that reads it: Windows
# Installer 5 (Windows 7) on knows MsiConfigureServices; older ones would take an unknown action
# for a missing custom action and fail, so it runs only there. Where it does not, the service's
# first start sets the same restarts.
foreach(variable MSI IDT MSIINFO MSIBUILD)
    if(NOT ${variable})
        message(FATAL_ERROR "AddFailureActions: ${variable} not set")
    endif()
endforeach()

# export_table(TABLE FILE): the package's TABLE as an IDT file beside it, named after it (removed
# once imported). A table imported whole replaces the one there: a table is read, extended and
# put back.
function(export_table table file)
    set(${file} ${MSI}.${table}.idt PARENT_SCOPE)
    execute_process(COMMAND ${MSIINFO} export ${MSI} ${table} OUTPUT_FILE ${MSI}.${table}.idt
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "AddFailureActions: msiinfo export ${table} failed")
    endif()
endfunction()

export_table(InstallExecuteSequence sequence)
file(READ ${sequence} rows)
if(NOT rows MATCHES "\nInstallServices\t[^\r\n]*\t5800\r?\n" OR
   NOT rows MATCHES "\nStartServices\t[^\r\n]*\t5900\r?\n")
    message(FATAL_ERROR "AddFailureActions: InstallServices or StartServices not where expected")
endif()
# Between InstallServices and StartServices, as in Windows Installer's own sequence.
file(APPEND ${sequence} "MsiConfigureServices\tVersionNT AND VersionMsi >= \"5.00\"\t5850\r\n")
string(REPLACE "," ";" tables "${IDT}")
# The service's ledger goes with the service at uninstall (a Registry row named "-": the key,
# its values and subkeys, when its component is removed), after the service's stop has given
# back what it capped. A row is appended to the table wixl wrote.
export_table(Registry registry)
file(APPEND ${registry} "ServiceLedger\t2\tSoftware\\Ambrel\\Restore\t-\t\tServiceProgram\r\n")
foreach(table ${sequence} ${registry} ${tables})
    execute_process(COMMAND ${MSIBUILD} ${MSI} -i ${table} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "AddFailureActions: msibuild -i ${table} failed")
    endif()
endforeach()
file(REMOVE ${sequence} ${registry})
