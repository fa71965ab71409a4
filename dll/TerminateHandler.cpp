#include <cstdlib>

// The C++ runtime's default terminate handler prints the type of the
// exception that ended the program, demangled, to the standard error stream:
// a stream that a DLL in a browser or a registration tool has no one to read,
// for a demangler and a printf that together are over a third of the DLL.
// Nothing the DLL throws leaves it; should the runtime ever terminate, it
// ends the process as the handler would have after printing.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
