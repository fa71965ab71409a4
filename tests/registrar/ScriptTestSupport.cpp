#include "tests/registrar/ScriptTestSupport.h"

#include <sddl.h>
#include <stdio.h>

#include <stdexcept>

const char kBandClassId[] = "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}";
const char kModulePath[] = "C:\\Program Files\\It's\\Tandrel.DLL";

const char kBandScript[] =
    "HKCR\r\n{\r\n"
    "\tTandrel.RefresherBand.1 = s 'Tandrel'\r\n\t{\r\n"
    "\t\tCLSID = s '{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}'\r\n\t}\r\n"
    "\tTandrel.RefresherBand = s 'Tandrel'\r\n\t{\r\n"
    "\t\tCLSID = s '{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}'\r\n"
    "\t\tCurVer = s 'Tandrel.RefresherBand.1'\r\n\t}\r\n"
    "\tNoRemove CLSID\r\n\t{\r\n"
    "\t\tForceRemove {6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06} = s 'Tandrel'\r\n\t\t{\r\n"
    "\t\t\tProgID = s 'Tandrel.RefresherBand.1'\r\n"
    "\t\t\tVersionIndependentProgID = s 'Tandrel.RefresherBand'\r\n"
    "\t\t\tForceRemove 'Programmable'\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n"
    "\t\t\t'TypeLib' = s '{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}'\r\n"
    "\t\t}\r\n\t}\r\n}\r\n\r\n"
    "HKLM\r\n{\r\n"
    "\tNoRemove Software\r\n\t{\r\n"
    "\t\tNoRemove Microsoft\r\n\t\t{\r\n"
    "\t\t\tNoRemove 'Internet Explorer'\r\n\t\t\t{\r\n"
    "\t\t\t\tNoRemove Toolbar\r\n\t\t\t\t{\r\n"
    "\t\t\t\t\tval {6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06} = s '0'\r\n"
    "\t\t\t\t}\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}";

HRESULT RunScriptText(const std::string& script, BOOL bRegister)
{
    CRegObject registrar;
    registrar.AddSubstitution(L"APPID", L"");
    registrar.AddSubstitution(L"Module", L"C:\\Program Files\\It''s\\Tandrel.DLL");
    registrar.AddSubstitution(L"Module_Raw", L"C:\\Program Files\\It''s\\Tandrel.DLL");
    CRegScriptParser parser(&registrar);
    return parser.RunScript(script.c_str(), bRegister);
}

RawValue Raw(DWORD type, std::vector<BYTE> data)
{
    return std::make_pair(type, std::move(data));
}

std::vector<BYTE> Bytes(std::initializer_list<int> values)
{
    return std::vector<BYTE>(values.begin(), values.end());
}

LONG CreateKeyWithValue(HKEY root, const std::string& path, const char* name, const char* text, DWORD options)
{
    HKEY key;
    LONG error = RegCreateKeyExA(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    if (name)
        error = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
    RegCloseKey(key);
    return error;
}

CRestrictedKey::CRestrictedKey(HKEY root, const char* path, DWORD allowed)
{
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the restricted key");
    if (!SetDacl(allowed))
        throw std::runtime_error("cannot set the key's DACL");
}

CRestrictedKey::~CRestrictedKey()
{
    SetDacl(KEY_ALL_ACCESS);
    RegCloseKey(m_hKey);
}

bool CRestrictedKey::SetDacl(DWORD allowed)
{
    char sddl[64];
    snprintf(sddl, sizeof(sddl), "D:P(A;;0x%lx;;;WD)", static_cast<unsigned long>(allowed));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const LONG error = RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return error == ERROR_SUCCESS;
}
