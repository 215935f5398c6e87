// Shell links through the shell's own IShellLinkW and IPersistFile, and the change
// notification.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/shell.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// Releases a COM interface at the end of its scope.
template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() {
        if (m_pointer != nullptr) {
            m_pointer->Release();
        }
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    Interface* operator->() const { return m_pointer; }
    Interface** Out() { return &m_pointer; }

private:
    Interface* m_pointer = nullptr;
};

// COM for the calling thread for the life of the object; the start-up initialises the main
// thread already, in which case this only counts up and down again.
class ComScope {
public:
    ComScope() : m_result(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_result;
};

}  // namespace

long SaveShellLink(const ShellLink& link, const std::string& linkPath) {
    ComScope com;
    ComPointer<IShellLinkW> shellLink;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(shellLink.Out()));
    if (FAILED(result)) {
        return result;
    }
    using win32::Wide;
    if (FAILED(result = shellLink->SetPath(Wide(link.target).c_str())) ||
        FAILED(result = shellLink->SetDescription(Wide(link.description).c_str())) ||
        FAILED(result = shellLink->SetArguments(Wide(link.arguments).c_str())) ||
        FAILED(result = shellLink->SetIconLocation(Wide(link.iconPath).c_str(), link.iconIndex))) {
        return result;
    }
    if (!link.workingFolder.empty() &&
        FAILED(result = shellLink->SetWorkingDirectory(Wide(link.workingFolder).c_str()))) {
        return result;
    }
    ComPointer<IPersistFile> file;
    result = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()));
    if (FAILED(result)) {
        return result;
    }
    return file->Save(Wide(linkPath).c_str(), TRUE);
}

void NotifyAssociationsChanged() {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace platform
