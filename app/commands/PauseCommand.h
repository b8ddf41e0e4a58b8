// Ambrel.exe --pause N and --resume: asks the tray instance of this session to pause its
// controller for N minutes or to end the pause, and where none controls the machine from here,
// the machine's service. The service takes the request only from a caller that may control it
// (an administrator, by default); a run without that right is refused with a message on the
// console and its own exit code, and so is every pause where a policy forbids it.
#pragma once

// Exit codes of a run with --pause or --resume.
const int PAUSE_DONE = 0;
const int PAUSE_BAD_ARGUMENT = 2;  // N missing or not 1 to AMBREL_LONGEST_PAUSE_MINUTES
const int PAUSE_FORBIDDEN = 3;     // the AllowPause policy is 0
const int PAUSE_DENIED = 4;        // the caller may not control the service
const int PAUSE_NO_CONTROLLER = 5; // neither the service nor a tray of this session runs
const int PAUSE_FAILED = 6;        // the service manager could not be asked

// minutes: the pause (1 to AMBREL_LONGEST_PAUSE_MINUTES), 0 to end it, or -1 for a bad --pause.
int RunPauseCommand(int minutes);
