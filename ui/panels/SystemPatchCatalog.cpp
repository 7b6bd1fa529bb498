#include "ui/panels/SystemPatchCatalog.h"

#include "core/net/HttpRequest.h"
#include "games/patching/PatchCatalog.h"

std::string SystemPatchCatalog::NextPatchUrl(const std::string& catalogUrl) {
    std::string body = HttpGetToString(catalogUrl, kConnectTimeoutSeconds, BodyKind::Document, timeLimitSeconds);
    if (body.empty())
        return {};
    PatchCatalog catalog;
    if (!catalog.ParseText(body))
        return {};
    return catalog.NextPatchUrl();
}
