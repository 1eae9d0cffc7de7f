// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/WordLauncher.h"

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <initializer_list>
#include <vector>

#include "platform/windows/WideText.h"

namespace kolvik {

namespace {

// The releases a failed step would otherwise skip.
class DispatchRef {
  public:
    DispatchRef() = default;
    ~DispatchRef() {
        if (p_) p_->Release();
    }
    DispatchRef(const DispatchRef&) = delete;
    DispatchRef& operator=(const DispatchRef&) = delete;
    IDispatch** Out() { return &p_; }
    IDispatch* get() const { return p_; }

  private:
    IDispatch* p_ = nullptr;
};

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

  private:
    VARIANT v_;
};

// Invokes names[0] on object, with names[1..] as the named arguments args (given in the
// same order).
bool Invoke(IDispatch* object, WORD kind, std::initializer_list<const wchar_t*> names,
            VARIANT* args, VARIANT* result) {
    std::vector<LPOLESTR> list;
    for (const wchar_t* n : names) list.push_back(const_cast<LPOLESTR>(n));
    std::vector<DISPID> ids(list.size());
    if (FAILED(object->GetIDsOfNames(IID_NULL, list.data(), static_cast<UINT>(list.size()),
                                     LOCALE_USER_DEFAULT, ids.data())))
        return false;
    const auto named = static_cast<UINT>(ids.size() - 1);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, named > 0 ? ids.data() + 1 : nullptr, named, named};
    if (kind == DISPATCH_PROPERTYPUT) {
        // A property's new value is its one argument, named DISPID_PROPERTYPUT.
        params = DISPPARAMS{args, &putId, 1, 1};
    }
    return SUCCEEDED(object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result,
                                    nullptr, nullptr));
}

}  // namespace

bool OpenWithWordAutomation(const std::wstring& path) {
    CLSID word{};
    if (FAILED(CLSIDFromProgID(L"Word.Application", &word))) return false;
    DispatchRef app;
    if (FAILED(CoCreateInstance(word, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(app.Out()))))
        return false;
    Variant visible;
    visible.get()->vt = VT_BOOL;
    visible.get()->boolVal = VARIANT_TRUE;
    if (!Invoke(app.get(), DISPATCH_PROPERTYPUT, {L"Visible"}, visible.get(), nullptr))
        return false;
    Variant documents;
    if (!Invoke(app.get(), DISPATCH_PROPERTYGET, {L"Documents"}, nullptr, documents.get()) ||
        documents.get()->vt != VT_DISPATCH || !documents.get()->pdispVal)
        return false;
    Variant fileName;
    fileName.get()->vt = VT_BSTR;
    fileName.get()->bstrVal = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    Variant opened;
    return Invoke(documents.get()->pdispVal, DISPATCH_METHOD, {L"Open", L"FileName"},
                  fileName.get(), opened.get());
}

bool WordLauncher::OpenInWord(const std::string& path) {
    return OpenWithWordAutomation(win::Wide(path));
}

}  // namespace kolvik
