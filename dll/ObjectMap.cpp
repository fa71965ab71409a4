#include "dll/ObjectMap.h"

#include "band/RefresherBand.h"
#include "resources/resource.h"
#include "server/ClassFactory.h"
#include "server/ComObject.h"

namespace {

HRESULT WINAPI UpdateBandRegistry(BOOL bRegister)
{
    return g_pModule->UpdateRegistryFromScript(IDR_TANDREL_REGISTRY, bRegister, nullptr);
}

void WINAPI InitBandClass(bool) {}

} // namespace

ObjectMapEntry g_objectMap[] = {
    {&CLSID_RefresherBand, UpdateBandRegistry, CreateFactoryObject, CRefresherBand::CreateBandObject, nullptr, 0,
     CRefresherBand::GetClassDescription, CRefresherBand::GetClassCategoryMap, InitBandClass},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};
