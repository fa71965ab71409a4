#include "dll/ObjectMap.h"

#include "band/RefresherBand.h"
#include "server/ClassFactory.h"
#include "server/ComObject.h"

namespace {

const UINT kBandRegistryScript = 101;

HRESULT WINAPI UpdateBandRegistry(BOOL bRegister)
{
    return g_pModule->UpdateRegistryFromScript(kBandRegistryScript, bRegister, nullptr);
}

void WINAPI InitBandClass(bool) {}

} // namespace

ObjectMapEntry g_objectMap[] = {
    {&CLSID_RefresherBand, UpdateBandRegistry, CreateFactoryObject, CRefresherBand::CreateBandObject, nullptr, 0,
     CRefresherBand::GetClassDescription, CRefresherBand::GetClassCategoryMap, InitBandClass},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};
