// What a process holds, measured in ways that also work under Wine: the leak tests take these
// before and after many repetitions of the code under test.
#pragma once

#include <cstddef>

namespace wintest
{

// Live GDI objects of this process. GetGuiResources where the platform implements it; otherwise
// (Wine) by probing every handle index of the process's GDI table with GetObjectType.
int GdiObjectCount();
// Live kernel handles of this process: GetProcessHandleCount, or where that reports nothing
// (Wine), the number of handle values that GetHandleInformation accepts.
int KernelHandleCount();
// Committed private memory of this process in bytes (PrivateUsage, or PagefileUsage where the
// former is not reported).
size_t PrivateBytes();

} // namespace wintest
