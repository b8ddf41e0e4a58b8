// A directory that no one but the local system, the administrators and the account this process
// runs as may change: the place where a program running as LocalSystem may write without another
// user choosing what it writes to (a file planted first, a link to another file, a junction to
// another directory).
#pragma once

enum DirectoryCheck {
    // The directory is there (made now, or found as it should be).
    DIRECTORY_PROTECTED,
    // Something is there that is no such directory: a link or junction, a file, or a directory
    // whose owner or access list lets another account change it. Nothing in it was touched.
    DIRECTORY_REFUSED,
    // It could neither be made nor read (the thread's last error says why).
    DIRECTORY_FAILED,
};

// Makes path (its parent must exist) with an access list that lets SYSTEM and Administrators do
// anything and the machine's users read, inheriting nothing from the parent. An existing path is
// taken only as a directory itself, never followed through a link or junction.
DirectoryCheck ProtectDirectory(const char* path);

// %ProgramData%\Ambrel, made and checked as ProtectDirectory does, into path (size bytes).
DirectoryCheck ProtectMachineDirectory(char* path, unsigned size);
