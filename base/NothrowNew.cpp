// The program is built without exceptions and allocates only with new (std::nothrow), whose
// library version calls the throwing operator new and catches what it throws. That catch alone
// links the whole exception machinery, the C++ demangler of its terminate handler and the POSIX
// threads library into the image: a third of its code, which Wine keeps in every running copy's
// private memory. These replacements answer null for a failed allocation, as the standard asks,
// straight from malloc; the library's operator delete frees with free().
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}
