#include "platform/win32/visual_styles.h"

#include <string>

#include "platform/win32/own_module.h"

VisualStyles::VisualStyles() {
    const std::wstring path = OwnModulePathW();
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.hModule = OwnModule();
    context.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    context_ = CreateActCtxW(&context);
    // The version 6 classes exist once its library registers them, within the context.
    const Scope active(*this);
    const INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);
}

VisualStyles::~VisualStyles() {
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

VisualStyles::Scope::Scope(const VisualStyles& styles) {
    active_ = styles.context_ != INVALID_HANDLE_VALUE && ActivateActCtx(styles.context_, &cookie_);
}

VisualStyles::Scope::~Scope() {
    if (active_) DeactivateActCtx(0, cookie_);
}
