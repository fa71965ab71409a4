// Another program on the desktop, run by the band tests against a band of
// theirs: IntervalDialogIntruder <band window> <address> <interval>, the
// window and the address in hexadecimal. Exits with an IntrusionResult.
#include <stdlib.h>

#include "tests/band/IntervalDialogIntruder.h"

int main(int argc, char** argv)
{
    if (argc != 4)
        return 1;
    const HWND band = reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoull(argv[1], nullptr, 16)));
    const LPARAM address = static_cast<LPARAM>(strtoull(argv[2], nullptr, 16));
    return IntrudeOnIntervalDialog(band, address, argv[3]);
}
