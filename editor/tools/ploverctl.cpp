// ploverctl.exe: drives the editor as its clients do, through COM. Creates
// the job store (TASKSTORE_DIR / TASKSTORE_FILE select it) and a
// Plover.JobRegGUI object, hands it the store, sets properties and calls one
// method:
//   ploverctl.exe [--model VX-410] [--no-init] [--thread-locale 040c]
//                 [--prop NAME=VALUE]... METHOD [ARGS...]
// Properties: KestrelFileName, KestrelMutexName, TwainDriverName (text),
//   DefaultDriverSetting (text, or @FILE for a file's bytes),
//   DisableFunctionID:N (number for function N), FixedFunction, WarningSize,
//   AttachedMailSize, CopyRight:N (days since 1899-12-30, as DATE).
// Methods: DoModal N, DoModal2 N, CopyDialog S, CopyDialog2 S MIN MAX,
//   CopyDialog3 S MIN MAX, ControlDialog1, ControlDialog2, ControlDialog3,
//   ControlDialog4 F, AboutDialog, HelpDialog [HWND].
// Prints "hr=0x%08X" with the method's result (or the failing step's) and
// exits 0 when it ran, 2 on wrong arguments.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "Plover.h"
#include "common/JobRecord.h"
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "framework/ComPtr.h"
#include "framework/Variant.h"

namespace {

int Usage() {
    std::fprintf(
        stderr, "usage: ploverctl [--model M] [--no-init] [--thread-locale XXXX]"
                " [--prop NAME=VALUE]... METHOD [ARGS...]\n"
                "  properties: KestrelFileName, KestrelMutexName, TwainDriverName, FixedFunction,\n"
                "    WarningSize, AttachedMailSize, DisableFunctionID:N, CopyRight:N (DATE),\n"
                "    DefaultDriverSetting (text or @FILE)\n"
                "  methods: DoModal N, DoModal2 N, CopyDialog S, CopyDialog2 S MIN MAX,\n"
                "    CopyDialog3 S MIN MAX, ControlDialog1..3, ControlDialog4 F, AboutDialog,\n"
                "    HelpDialog [HWND]\n");
    return 2;
}

HRESULT PutBytes(IJobRegGUI* gui, const std::string& bytes) {
    CVariant v;
    const HRESULT hr = VlmMakeByteBlock(bytes.data(), bytes.size(), &v, VT_UI1);
    return FAILED(hr) ? hr : gui->put_DefaultDriverSetting(v);
}

// NAME=VALUE or NAME:INDEX=VALUE; E_INVALIDARG for an unknown name.
HRESULT PutProperty(IJobRegGUI* gui, const std::string& assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos)
        return E_INVALIDARG;
    std::string name = assignment.substr(0, eq);
    const std::string value = assignment.substr(eq + 1);
    long index = 0;
    const size_t colon = name.find(':');
    if (colon != std::string::npos) {
        index = std::atol(name.c_str() + colon + 1);
        name.erase(colon);
    }
    const long number = std::atol(value.c_str());
    if (name == "KestrelFileName")
        return gui->put_KestrelFileName(CBstr(value.c_str()));
    if (name == "KestrelMutexName")
        return gui->put_KestrelMutexName(CBstr(value.c_str()));
    if (name == "TwainDriverName")
        return gui->put_TwainDriverName(CBstr(value.c_str()));
    if (name == "DisableFunctionID")
        return gui->put_DisableFunctionID(index, number);
    if (name == "FixedFunction")
        return gui->put_FixedFunction(number);
    if (name == "WarningSize")
        return gui->put_WarningSize(number);
    if (name == "AttachedMailSize")
        return gui->put_AttachedMailSize(number);
    if (name == "CopyRight")
        return gui->put_CopyRight(index, std::atof(value.c_str()));
    if (name == "DefaultDriverSetting") {
        if (!value.empty() && value[0] == '@') {
            std::ifstream file(value.substr(1), std::ios::binary);
            if (!file)
                return HResultFromWin32(ERROR_FILE_NOT_FOUND);
            return PutBytes(gui, std::string(std::istreambuf_iterator<char>(file), {}));
        }
        return PutBytes(gui, value);
    }
    return E_INVALIDARG;
}

// Calls the method on the interface that carries it; false for an unknown
// method or missing arguments.
bool CallMethod(IJobRegGUI* gui, const std::vector<std::string>& args, HRESULT& hr) {
    const std::string& m = args[0];
    auto arg = [&](size_t i) { return std::atol(args[i].c_str()); };
    const size_t n = args.size() - 1;
    CComPtr<IJobRegGUI2> gui2;
    CComPtr<IJobRegGUI3> gui3;
    CComPtr<IJobRegGUI4> gui4;
    if (m == "DoModal" && n == 1)
        hr = gui->DoModal(arg(1));
    else if (m == "AboutDialog" && n == 0)
        hr = gui->AboutDialog();
    else if (m == "CopyDialog" && n == 1)
        hr = gui->CopyDialog(arg(1));
    else if (m == "ControlDialog1" && n == 0)
        hr = gui->ControlDialog1();
    else if (m == "ControlDialog2" && n == 0)
        hr = gui->ControlDialog2();
    else if (m == "HelpDialog" && n <= 1)
        hr = gui->HelpDialog(n ? reinterpret_cast<HWND>(static_cast<INT_PTR>(arg(1))) : nullptr);
    else if (m == "CopyDialog2" && n == 3) {
        hr = gui->QueryInterface(IID_IJobRegGUI2, reinterpret_cast<void**>(&gui2));
        if (SUCCEEDED(hr))
            hr = gui2->CopyDialog2(arg(1), arg(2), arg(3));
    } else if ((m == "DoModal2" && n == 1) || (m == "ControlDialog3" && n == 0) ||
               (m == "CopyDialog3" && n == 3)) {
        hr = gui->QueryInterface(IID_IJobRegGUI3, reinterpret_cast<void**>(&gui3));
        if (SUCCEEDED(hr))
            hr = m == "DoModal2"         ? gui3->DoModal2(arg(1))
                 : m == "ControlDialog3" ? gui3->ControlDialog3()
                                         : gui3->CopyDialog3(arg(1), arg(2), arg(3));
    } else if (m == "ControlDialog4" && n == 1) {
        hr = gui->QueryInterface(IID_IJobRegGUI4, reinterpret_cast<void**>(&gui4));
        if (SUCCEEDED(hr))
            hr = gui4->ControlDialog4(arg(1));
    } else
        return false;
    return true;
}

int Report(const char* step, HRESULT hr) {
    if (step)
        std::printf("step=%s\n", step);
    std::printf("hr=0x%08X\n", static_cast<unsigned>(hr));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string model = "VX-410";
    bool init = true;
    std::vector<std::string> props;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string opt = argv[i];
        if (opt == "--no-init") {
            init = false;
            continue;
        }
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        if (opt == "--model")
            model = value;
        else if (opt == "--prop")
            props.push_back(value);
        else if (opt == "--thread-locale")
            ::SetThreadLocale(MAKELCID(std::strtoul(value, nullptr, 16), SORT_DEFAULT));
        else
            return Usage();
    }
    if (i >= argc)
        return Usage();
    const std::vector<std::string> method(argv + i, argv + argc);

    COleInitialize ole;
    if (!ole.Succeeded())
        return Report("OleInitialize", ole.Result());
    CComPtr<IJobStore> store;
    try {
        store = CreateJobStore();
        PrepareJobStore(store, model.c_str(), 0);
    } catch (const CComError& e) {
        return Report("job store", e.Error());
    }
    CComPtr<IUnknown> unknown;
    HRESULT hr = ::CoCreateInstance(CLSID_JobRegGUI, nullptr, CLSCTX_ALL, IID_IUnknown,
                                    reinterpret_cast<void**>(&unknown));
    if (FAILED(hr))
        return Report("CoCreateInstance", hr);
    if (FAILED(hr = ::OleRun(unknown)))
        return Report("OleRun", hr);
    CComPtr<IJobRegGUI> gui;
    if (FAILED(hr = unknown.QueryInterface(IID_IJobRegGUI, &gui)))
        return Report("QueryInterface", hr);
    if (init && FAILED(hr = gui->Initialize(store)))
        return Report("Initialize", hr);
    for (const std::string& p : props)
        if (FAILED(hr = PutProperty(gui, p))) {
            std::printf("property=%s\n", p.c_str());
            return Report("property", hr);
        }
    if (!CallMethod(gui, method, hr))
        return Usage();
    return Report(nullptr, hr);
}
