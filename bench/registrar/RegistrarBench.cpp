// Registers and unregisters a generated script of 2,000 keys, each with a
// value of every type, and times it against the same registry calls made
// directly: the difference is what reading the script costs.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registrar/RegObject.h"
#include "registrar/ScriptParser.h"
#include "tests/common/RegistrySandbox.h"

namespace {

constexpr int kKeys = 2000;
constexpr int kRounds = 5;
const char kParent[] = "TandrelBench";

std::string KeyName(int i)
{
    char name[16];
    snprintf(name, sizeof(name), "Key%04d", i);
    return name;
}

std::string GeneratedScript()
{
    std::string script = "HKCU\r\n{\r\n\tNoRemove TandrelBench\r\n\t{\r\n";
    for (int i = 0; i < kKeys; ++i) {
        script += "\t\t" + KeyName(i) + " = s 'Default text of the key'\r\n\t\t{\r\n"
                  "\t\t\tval Text = s 'Some string value'\r\n"
                  "\t\t\tval Number = d '305419896'\r\n"
                  "\t\t\tval Data = b '00112233445566778899AABBCCDDEEFF'\r\n"
                  "\t\t\tval List = m 'first\\0second\\0third'\r\n"
                  "\t\t}\r\n";
    }
    return script + "\t}\r\n}\r\n";
}

double Milliseconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HRESULT RunEngine(const std::string& script, BOOL bRegister)
{
    CRegObject registrar;
    CRegScriptParser parser(&registrar);
    return parser.RunScript(script.c_str(), bRegister);
}

void SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size)
{
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// The calls the engine makes for the generated script, in its order.
void RegisterDirectly()
{
    static const BYTE binary[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                  0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    static const char list[] = "first\0second\0third\0";
    const DWORD number = 305419896;
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kParent, 0, KEY_READ | KEY_WRITE, &parent) != ERROR_SUCCESS)
        RegCreateKeyExA(HKEY_CURRENT_USER, kParent, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &parent, nullptr);
    for (int i = 0; i < kKeys; ++i) {
        const std::string name = KeyName(i);
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS &&
            RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
        SetValue(key, nullptr, REG_SZ, "Default text of the key", 24);
        SetValue(key, "Text", REG_SZ, "Some string value", 18);
        SetValue(key, "Number", REG_DWORD, &number, 4);
        SetValue(key, "Data", REG_BINARY, binary, sizeof(binary));
        SetValue(key, "List", REG_MULTI_SZ, list, sizeof(list));
        RegCloseKey(key);
    }
    RegCloseKey(parent);
}

void DeleteValueDirectly(HKEY key, const char* name)
{
    HKEY writable = nullptr;
    RegOpenKeyExA(key, nullptr, 0, KEY_WRITE, &writable);
    RegDeleteValueA(writable, name);
    RegCloseKey(writable);
}

void UnregisterDirectly()
{
    HKEY parent = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, kParent, 0, KEY_READ, &parent);
    for (int i = 0; i < kKeys; ++i) {
        const std::string name = KeyName(i);
        HKEY key = nullptr;
        RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key);
        for (const char* value : {"Text", "Number", "Data", "List"})
            DeleteValueDirectly(key, value);
        DWORD subkeys = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        RegDeleteKeyA(parent, name.c_str());
    }
    DWORD subkeys = 0;
    RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(parent);
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const std::string script = GeneratedScript();
    std::vector<double> engineTimes;
    std::vector<double> directTimes;
    bool allSucceeded = true;
    for (int round = 0; round < kRounds; ++round) {
        {
            CRegistrySandbox sandbox;
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            allSucceeded &= RunEngine(script, TRUE) == S_OK;
            allSucceeded &= RunEngine(script, FALSE) == S_OK;
            engineTimes.push_back(Milliseconds(start));
            allSucceeded &= RegistryProbe::SubkeyNames(HKEY_CURRENT_USER, kParent).empty();
        }
        {
            CRegistrySandbox sandbox;
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            RegisterDirectly();
            UnregisterDirectly();
            directTimes.push_back(Milliseconds(start));
            allSucceeded &= RegistryProbe::SubkeyNames(HKEY_CURRENT_USER, kParent).empty();
        }
    }
    const double engine = Median(engineTimes);
    const double direct = Median(directTimes);
    printf("script of %d keys x 5 values, %u bytes, register + unregister, median of %d rounds\n", kKeys,
           static_cast<unsigned>(script.size()), kRounds);
    printf("engine:         %8.1f ms\n", engine);
    printf("direct calls:   %8.1f ms (floor)\n", direct);
    printf("ratio:          %8.2f\n", engine / direct);
    if (!allSucceeded) {
        printf("a run did not register and unregister cleanly\n");
        return 1;
    }
    return 0;
}
