// What the module counts for DllCanUnloadNow, and its type library.
#pragma once
#include <windows.h>
#include <oaidl.h>

// Live objects and class factory references held by clients.
void EdModuleLock();
void EdModuleUnlock();

// A dialog method's dialogs are on screen while one of these lives: the
// module must stay loaded even when its object was released meanwhile.
class CEdWindowScope {
public:
    CEdWindowScope();
    ~CEdWindowScope();
    CEdWindowScope(const CEdWindowScope&) = delete;
    CEdWindowScope& operator=(const CEdWindowScope&) = delete;
};

// The module's type library, loaded once from its own TYPELIB resource.
HRESULT EdGetTypeInfo(REFIID iid, ITypeInfo** ppInfo);
