#pragma once
#include <utility>

#include "support/Owners.h"

// A new object of the browser stand-in (host/), whose count starts at one:
// the returned pointer owns that reference.
template <class T, class... Args>
CInterfacePtr<T> MakeHostObject(Args&&... args)
{
    return CInterfacePtr<T>::Adopt(new T(std::forward<Args>(args)...));
}
