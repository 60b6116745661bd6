#include "vcl/Resources.h"

#include <QFile>

namespace vcl {

void ServeBundledResources(rtl::HINSTANCE instance, const std::string& prefix) {
    rtl::RegisterResourceLookup(instance, [prefix](const std::string&, const std::string& name) -> std::optional<std::vector<uint8_t>> {
        QFile file(QString::fromStdString(":" + prefix + "/" + name));
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        const QByteArray bytes = file.readAll();
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    });
}

}  // namespace vcl
