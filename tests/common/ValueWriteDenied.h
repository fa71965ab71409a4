#pragma once
#include <windows.h>

// Denies setting values on a key for everyone, for the object's lifetime,
// with whatever else denied names (KEY_CREATE_SUB_KEY as well, and the key is
// as a low-integrity process sees one of the user's own).
class CValueWriteDenied {
public:
    explicit CValueWriteDenied(HKEY key, REGSAM denied = KEY_SET_VALUE) : m_hKey(key)
    {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &m_pEveryone);
        InitializeAcl(reinterpret_cast<ACL*>(m_acl), sizeof(m_acl), ACL_REVISION);
        AddAccessDeniedAce(reinterpret_cast<ACL*>(m_acl), ACL_REVISION, denied, m_pEveryone);
        AddAccessAllowedAce(reinterpret_cast<ACL*>(m_acl), ACL_REVISION, KEY_ALL_ACCESS, m_pEveryone);
        Apply(reinterpret_cast<ACL*>(m_acl));
    }
    ~CValueWriteDenied()
    {
        Apply(nullptr);
        FreeSid(m_pEveryone);
    }
    CValueWriteDenied(const CValueWriteDenied&) = delete;
    CValueWriteDenied& operator=(const CValueWriteDenied&) = delete;

private:
    void Apply(ACL* acl)
    {
        SECURITY_DESCRIPTOR descriptor;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
        m_result = RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, &descriptor);
    }

public:
    LONG m_result = ERROR_SUCCESS;

private:
    HKEY m_hKey;
    PSID m_pEveryone = nullptr;
    BYTE m_acl[256];
};
