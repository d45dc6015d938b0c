// taskstore.exe: the job store from the command line, for administrators and
// tests. It goes through the COM server like every other client.
#include "ComSupport.h"
#include "Taskstore.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace taskstore;

namespace {

enum ExitCode { kOk = 0, kStoreFailed = 1, kUsage = 2, kNotFound = 3 };

const char kUsageText[] =
    "usage: taskstore [--model NAME] [--max N] COMMAND [ARGS]\n"
    "  list                        numbers and titles of the jobs\n"
    "  show N                      every value of job N (key, type, value)\n"
    "  get N KEY                   one value of job N\n"
    "  set N KEY TYPE VALUE        write and commit one value of job N\n"
    "  unset N KEY                 remove one value of job N\n"
    "  delete N                    delete job N\n"
    "  copy SOURCE DEST TITLE      copy a job under a new title\n"
    "  dest N                      proposed copy destination for job N\n"
    "  common list|get KEY|set KEY TYPE VALUE|unset KEY\n"
    "  export FILE                 write a backup of the model's jobs and settings\n"
    "  import FILE                 restore a backup\n"
    "TYPE: i1 ui1 i2 ui2 i4 ui4 i8 ui8 int uint bool string bytes ubytes bytesfile\n"
    "      (bytes/ubytes take hex digits; bytesfile takes a file whose content is the block)\n"
    "Text is read and written as UTF-8. Exit codes: 0 done, 1 store failure,\n"
    "2 bad command line or a value the store refuses, 3 no such job or value.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "taskstore: %s\n%s", problem.c_str(), kUsageText);
    return kUsage;
}

std::string Utf8(const std::wstring& w) {
    return Utf8FromWide(w.data(), w.size());
}

BSTR NewBstr(const std::string& utf8) {
    std::wstring w = WideFromUtf8(utf8);
    return SysAllocStringLen(w.data(), UINT(w.size()));
}

int Fail(HRESULT hr, const std::string& what) {
    std::string text;
    CRef<IErrorInfo> pInfo;
    if (GetErrorInfo(0, pInfo.Out()) == S_OK && pInfo) {
        CBstrText desc;
        if (SUCCEEDED(pInfo->GetDescription(desc.Out())) && desc.Get())
            text = Utf8(std::wstring(desc.Get(), SysStringLen(desc.Get())));
    }
    if (text.empty()) {
        char* msg = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, DWORD(hr), 0, reinterpret_cast<char*>(&msg), 0, nullptr);
        if (msg) {
            text = msg;
            LocalFree(msg);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
        }
    }
    std::fprintf(stderr, "taskstore: %s failed (0x%08lX)%s%s\n", what.c_str(), (unsigned long)hr,
                 text.empty() ? "" : ": ", text.c_str());
    return hr == E_INVALIDARG ? kUsage : kStoreFailed; // the server refused our input
}

bool ParseLong(const std::string& s, long long lo, long long hi, long long& out) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseHex(const std::string& s, std::vector<uint8_t>& bytes) {
    std::string digits;
    for (char c : s) {
        if (c == ' ' || c == ',' || c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits.push_back(c);
    }
    if (digits.size() % 2)
        return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(uint8_t(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = _wfopen(WideFromUtf8(path).c_str(), L"rb");
    if (!f)
        return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Builds a VARIANT from TYPE and VALUE; false with a message on bad input.
bool MakeVariant(const std::string& type, const std::string& value, CVar& var,
                 std::string& problem) {
    struct IntType {
        const char* name;
        VARTYPE vt;
        long long lo, hi;
    };
    static const IntType kInts[] = {
        {"i1", VT_I1, -128, 127},
        {"ui1", VT_UI1, 0, 255},
        {"i2", VT_I2, -32768, 32767},
        {"ui2", VT_UI2, 0, 65535},
        {"i4", VT_I4, INT32_MIN, INT32_MAX},
        {"int", VT_INT, INT32_MIN, INT32_MAX},
        {"ui4", VT_UI4, 0, UINT32_MAX},
        {"uint", VT_UINT, 0, UINT32_MAX},
        {"i8", VT_I8, INT64_MIN, INT64_MAX},
        {"ui8", VT_UI8, 0, INT64_MAX},
    };
    VARIANT* v = var.Out();
    for (const IntType& t : kInts) {
        if (type != t.name)
            continue;
        long long n;
        if (!ParseLong(value, t.lo, t.hi, n)) {
            problem = "\"" + value + "\" is not a number for type " + type;
            return false;
        }
        V_VT(v) = t.vt;
        switch (t.vt) {
        case VT_I1:
            V_I1(v) = CHAR(n);
            break;
        case VT_UI1:
            V_UI1(v) = BYTE(n);
            break;
        case VT_I2:
            V_I2(v) = SHORT(n);
            break;
        case VT_UI2:
            V_UI2(v) = USHORT(n);
            break;
        case VT_I4:
            V_I4(v) = LONG(n);
            break;
        case VT_INT:
            V_INT(v) = INT(n);
            break;
        case VT_UI4:
            V_UI4(v) = ULONG(n);
            break;
        case VT_UINT:
            V_UINT(v) = UINT(n);
            break;
        case VT_I8:
            V_I8(v) = n;
            break;
        default:
            V_UI8(v) = ULONGLONG(n);
            break;
        }
        return true;
    }
    if (type == "bool") {
        bool b;
        if (value == "1" || value == "true")
            b = true;
        else if (value == "0" || value == "false")
            b = false;
        else {
            problem = "a bool is 0, 1, true or false";
            return false;
        }
        V_VT(v) = VT_BOOL;
        V_BOOL(v) = b ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    }
    if (type == "string") {
        V_VT(v) = VT_BSTR;
        V_BSTR(v) = NewBstr(value);
        return true;
    }
    if (type == "bytes" || type == "ubytes" || type == "bytesfile") {
        std::vector<uint8_t> bytes;
        if (type == "bytesfile" ? !ReadFileBytes(value, bytes) : !ParseHex(value, bytes)) {
            problem = type == "bytesfile" ? "cannot read \"" + value + "\""
                                          : "a byte block is an even number of hex digits";
            return false;
        }
        VARTYPE elem = type == "ubytes" ? VT_UI1 : VT_I1;
        SAFEARRAY* psa = SafeArrayCreateVector(elem, 0, ULONG(bytes.size()));
        if (!psa) {
            problem = "out of memory";
            return false;
        }
        if (!bytes.empty()) {
            void* p = nullptr;
            SafeArrayAccessData(psa, &p);
            std::memcpy(p, bytes.data(), bytes.size());
            SafeArrayUnaccessData(psa);
        }
        V_VT(v) = VARTYPE(VT_ARRAY | elem);
        V_ARRAY(v) = psa;
        return true;
    }
    problem = "unknown type \"" + type + "\"";
    return false;
}

std::string TypeName(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
        return "i1";
    case VT_UI1:
        return "ui1";
    case VT_I2:
        return "i2";
    case VT_UI2:
        return "ui2";
    case VT_I4:
        return "i4";
    case VT_UI4:
        return "ui4";
    case VT_INT:
        return "int";
    case VT_UINT:
        return "uint";
    case VT_I8:
        return "i8";
    case VT_UI8:
        return "ui8";
    case VT_BOOL:
        return "bool";
    case VT_BSTR:
        return "string";
    case VT_ARRAY | VT_I1:
        return "bytes";
    case VT_ARRAY | VT_UI1:
        return "ubytes";
    default:
        return "vt" + std::to_string(vt);
    }
}

// The value as text: numbers in decimal, text as is, byte blocks in hex.
std::string ValueText(const VARIANT& v) {
    char buf[32];
    switch (V_VT(&v)) {
    case VT_I1:
        return std::to_string(int(V_I1(&v)));
    case VT_UI1:
        return std::to_string(unsigned(V_UI1(&v)));
    case VT_I2:
        return std::to_string(V_I2(&v));
    case VT_UI2:
        return std::to_string(V_UI2(&v));
    case VT_I4:
        return std::to_string(long(V_I4(&v)));
    case VT_UI4:
        return std::to_string((unsigned long)V_UI4(&v));
    case VT_INT:
        return std::to_string(V_INT(&v));
    case VT_UINT:
        return std::to_string(V_UINT(&v));
    case VT_I8:
        return std::to_string((long long)V_I8(&v));
    case VT_UI8:
        return std::to_string((unsigned long long)V_UI8(&v));
    case VT_BOOL:
        return V_BOOL(&v) ? "1" : "0";
    case VT_BSTR:
        return V_BSTR(&v) ? Utf8(std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))))
                          : std::string();
    case VT_ARRAY | VT_I1:
    case VT_ARRAY | VT_UI1: {
        std::string out;
        SAFEARRAY* psa = V_ARRAY(&v);
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(psa, 1, &lo);
        SafeArrayGetUBound(psa, 1, &hi);
        void* p = nullptr;
        if (hi >= lo && SUCCEEDED(SafeArrayAccessData(psa, &p))) {
            const uint8_t* b = static_cast<const uint8_t*>(p);
            for (LONG i = 0; i <= hi - lo; ++i) {
                std::snprintf(buf, sizeof buf, "%02x", b[i]);
                out += buf;
            }
            SafeArrayUnaccessData(psa);
        }
        return out;
    }
    default:
        return "?";
    }
}

// One line per value for "show": control characters escaped.
std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out.push_back(c);
    }
    return out;
}

void Print(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
}

bool KeysOf(IUnknown* pObj, std::vector<std::string>& keys) {
    CRef<ITaskstoreKeys> pKeys;
    if (FAILED(pObj->QueryInterface(IID_ITaskstoreKeys, reinterpret_cast<void**>(pKeys.Out()))))
        return false;
    CSafeArray sa;
    if (FAILED(pKeys->GetKeys(sa.Out())))
        return false;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(sa.Get(), 1, &lo);
    SafeArrayGetUBound(sa.Get(), 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        CBstrText b;
        if (SUCCEEDED(SafeArrayGetElement(sa.Get(), &i, b.Out())) && b.Get())
            keys.push_back(Utf8(std::wstring(b.Get(), SysStringLen(b.Get()))));
    }
    return true;
}

class CTool {
public:
    int Run(std::vector<std::string> args) {
        std::string model = "VX-410";
        long long maxJobs = 99;
        while (!args.empty() && args[0].rfind("--", 0) == 0) {
            if (args.size() < 2)
                return Usage(args[0] + " needs a value");
            if (args[0] == "--model")
                model = args[1];
            else if (args[0] == "--max") {
                if (!ParseLong(args[1], 1, 999, maxJobs))
                    return Usage("--max takes a number from 1 to 999");
            } else
                return Usage("unknown option " + args[0]);
            args.erase(args.begin(), args.begin() + 2);
        }
        if (args.empty())
            return Usage("no command");
        m_args = args;
        const std::string& cmd = args[0];

        // Created exactly as the suite's programs create it.
        CRef<IUnknown> pUnk;
        HRESULT hr = CoCreateInstance(CLSID_JobStore, nullptr, 23, IID_IUnknown,
                                      reinterpret_cast<void**>(pUnk.Out()));
        if (FAILED(hr))
            return Fail(hr, "creating the job store (is Taskstore.dll registered?)");
        if (FAILED(hr = OleRun(pUnk.Get())))
            return Fail(hr, "starting the job store");
        if (FAILED(
                hr = pUnk->QueryInterface(IID_IJobStore, reinterpret_cast<void**>(m_pStore.Out()))))
            return Fail(hr, "asking for IJobStore");
        pUnk.Release();
        CBstrText bModel(NewBstr(model));
        if (FAILED(hr = m_pStore->SetMaxJobs(LONG(maxJobs))))
            return Fail(hr, "SetMaxJobs");
        if (FAILED(hr = m_pStore->SetModel(bModel.Get())))
            return Fail(hr, "SetModel");
        if (FAILED(hr = m_pStore->SetModelIndex(0)))
            return Fail(hr, "SetModelIndex");
        if (FAILED(hr = m_pStore->Load()))
            return Fail(hr, "Load");

        if (cmd == "list" && Argc(1))
            return List();
        if (cmd == "show" && Argc(2))
            return Show();
        if (cmd == "get" && Argc(3))
            return Get();
        if (cmd == "set" && Argc(5))
            return Set(false);
        if (cmd == "unset" && Argc(3))
            return Set(true);
        if (cmd == "delete" && Argc(2))
            return Delete();
        if (cmd == "copy" && Argc(4))
            return Copy();
        if (cmd == "dest" && Argc(2))
            return Dest();
        if (cmd == "common" && args.size() >= 2)
            return Common();
        if (cmd == "export" && Argc(2))
            return Backup(true);
        if (cmd == "import" && Argc(2))
            return Backup(false);
        return Usage("unknown command or wrong number of arguments: " + cmd);
    }

private:
    bool Argc(size_t n) const { return m_args.size() == n; }

    bool JobNumber(const std::string& s, LONG& n) {
        long long v;
        if (!ParseLong(s, 1, 999, v))
            return false;
        n = LONG(v);
        return true;
    }

    // Returns kOk with the job, kNotFound when no job has the number, or a failure.
    int OpenJob(const std::string& num, CRef<IJobData>& pJob, bool bMustExist, LONG& n) {
        if (!JobNumber(num, n)) {
            Usage("\"" + num + "\" is not a job number");
            return kUsage;
        }
        HRESULT hr = m_pStore->GetJob(n, pJob.Out());
        if (FAILED(hr))
            return Fail(hr, "GetJob " + num);
        if (hr == TS_S_NOJOB && bMustExist) {
            std::fprintf(stderr, "taskstore: no job %ld\n", (long)n);
            return kNotFound;
        }
        return kOk;
    }

    int List() {
        LONG max = 0;
        HRESULT hr = m_pStore->GetMaxJobNumber(&max);
        if (FAILED(hr))
            return Fail(hr, "GetMaxJobNumber");
        for (LONG n = 1; n <= max; ++n) {
            CRef<IJobData> pJob;
            hr = m_pStore->GetJob(n, pJob.Out());
            if (FAILED(hr))
                return Fail(hr, "GetJob");
            if (hr == TS_S_NOJOB)
                continue;
            CVar title;
            CBstrText key(NewBstr("title"));
            if (FAILED(hr = pJob->Getdata(key.Get(), title.Out())))
                return Fail(hr, "Getdata title");
            char num[16];
            std::snprintf(num, sizeof num, "%3ld  ", (long)n);
            Print(num + Escaped(ValueText(title.Get())) + "\n");
        }
        return kOk;
    }

    int ShowValues(IUnknown* pObj, const std::function<HRESULT(BSTR, VARIANT*)>& get) {
        std::vector<std::string> keys;
        if (!KeysOf(pObj, keys))
            return Fail(E_NOINTERFACE, "listing the keys");
        for (const std::string& k : keys) {
            CVar value;
            CBstrText key(NewBstr(k));
            HRESULT hr = get(key.Get(), value.Out());
            if (FAILED(hr))
                return Fail(hr, "reading \"" + k + "\"");
            Print(k + "\t" + TypeName(V_VT(&value.Get())) + "\t" + Escaped(ValueText(value.Get())) +
                  "\n");
        }
        return kOk;
    }

    int Show() {
        CRef<IJobData> pJob;
        LONG n;
        int rc = OpenJob(m_args[1], pJob, true, n);
        if (rc != kOk)
            return rc;
        return ShowValues(pJob.Get(), [&](BSTR k, VARIANT* v) { return pJob->Getdata(k, v); });
    }

    int PrintValue(const VARIANT& v, const std::string& what) {
        if (V_VT(&v) == VT_EMPTY) {
            std::fprintf(stderr, "taskstore: %s has no value\n", what.c_str());
            return kNotFound;
        }
        Print(ValueText(v) + "\n");
        return kOk;
    }

    int Get() {
        CRef<IJobData> pJob;
        LONG n;
        int rc = OpenJob(m_args[1], pJob, true, n);
        if (rc != kOk)
            return rc;
        CVar value;
        CBstrText key(NewBstr(m_args[2]));
        HRESULT hr = pJob->Getdata(key.Get(), value.Out());
        if (FAILED(hr))
            return Fail(hr, "Getdata");
        return PrintValue(value.Get(), "job " + m_args[1] + " \"" + m_args[2] + "\"");
    }

    int Set(bool bRemove) {
        CVar value;
        if (!bRemove) {
            std::string problem;
            if (!MakeVariant(m_args[3], m_args[4], value, problem))
                return Usage(problem);
        }
        CRef<IJobData> pJob;
        LONG n;
        int rc = OpenJob(m_args[1], pJob, bRemove, n);
        if (rc != kOk)
            return rc;
        CBstrText key(NewBstr(m_args[2]));
        HRESULT hr = bRemove ? pJob->RemoveData(key.Get()) : pJob->Setdata(key.Get(), value.Get());
        if (FAILED(hr))
            return Fail(hr, bRemove ? "RemoveData" : "Setdata");
        if (FAILED(hr = pJob->Commit()))
            return Fail(hr, "Commit");
        return kOk;
    }

    int Delete() {
        LONG n;
        if (!JobNumber(m_args[1], n))
            return Usage("\"" + m_args[1] + "\" is not a job number");
        HRESULT hr = m_pStore->DeleteJob(n);
        if (FAILED(hr))
            return Fail(hr, "DeleteJob");
        if (hr == TS_S_NOJOB) {
            std::fprintf(stderr, "taskstore: no job %ld\n", (long)n);
            return kNotFound;
        }
        return kOk;
    }

    int Copy() {
        LONG src, dst;
        if (!JobNumber(m_args[1], src) || !JobNumber(m_args[2], dst))
            return Usage("copy takes two job numbers and a title");
        CBstrText title(NewBstr(m_args[3]));
        HRESULT hr = m_pStore->CopyJob(src, dst, title.Get());
        if (hr == TS_E_NOJOB) {
            std::fprintf(stderr, "taskstore: no job %ld\n", (long)src);
            return kNotFound;
        }
        return FAILED(hr) ? Fail(hr, "CopyJob") : kOk;
    }

    int Dest() {
        LONG src, dst = 0;
        if (!JobNumber(m_args[1], src))
            return Usage("\"" + m_args[1] + "\" is not a job number");
        HRESULT hr = m_pStore->GetCopyDestination(src, &dst);
        if (FAILED(hr))
            return Fail(hr, "GetCopyDestination");
        Print(std::to_string(dst) + "\n");
        return kOk;
    }

    int Common() {
        const std::string& sub = m_args[1];
        if (sub == "list" && Argc(2))
            return ShowValues(m_pStore.Get(),
                              [&](BSTR k, VARIANT* v) { return m_pStore->GetCommonData(k, v); });
        if (sub == "get" && Argc(3)) {
            CVar value;
            CBstrText key(NewBstr(m_args[2]));
            HRESULT hr = m_pStore->GetCommonData(key.Get(), value.Out());
            if (FAILED(hr))
                return Fail(hr, "GetCommonData");
            return PrintValue(value.Get(), "\"" + m_args[2] + "\"");
        }
        if ((sub == "set" && Argc(5)) || (sub == "unset" && Argc(3))) {
            CVar value; // VT_EMPTY removes the value
            std::string problem;
            if (sub == "set" && !MakeVariant(m_args[3], m_args[4], value, problem))
                return Usage(problem);
            CBstrText key(NewBstr(m_args[2]));
            HRESULT hr = m_pStore->SetCommonData(key.Get(), value.Get());
            if (FAILED(hr))
                return Fail(hr, "SetCommonData");
            if (FAILED(hr = m_pStore->Save()))
                return Fail(hr, "Save");
            return kOk;
        }
        return Usage("common takes list, get KEY, set KEY TYPE VALUE or unset KEY");
    }

    int Backup(bool bExport) {
        CBstrText path(NewBstr(m_args[1]));
        HRESULT hr;
        if (bExport) {
            hr = m_pStore->ExportAll(path.Get());
            return FAILED(hr) ? Fail(hr, "ExportAll") : kOk;
        }
        if (FAILED(hr = m_pStore->PrepareImport()))
            return Fail(hr, "PrepareImport");
        hr = m_pStore->ImportAll(path.Get());
        return FAILED(hr) ? Fail(hr, "ImportAll") : kOk;
    }

    CRef<IJobStore> m_pStore;
    std::vector<std::string> m_args;
};

} // namespace

int main() {
    // Output lines end in LF alone, whatever the console's mode.
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i)
        args.push_back(Utf8(argv[i]));
    LocalFree(argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsageText, args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "taskstore: COM is not available\n");
        return kStoreFailed;
    }
    int rc;
    {
        CTool tool;
        rc = tool.Run(args);
    }
    CoUninitialize();
    return rc;
}
