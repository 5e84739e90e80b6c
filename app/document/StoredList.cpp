#include "StoredList.h"

#include "utils/ZynRegistry.h"

#include <memory>
#include <string>

namespace {

struct RegistryRelease {
    void operator()(CZynRegistry* r) const { ReleaseReg(r); }
};

std::u16string ValueName(const char16_t* prefix, int number) {
    return prefix + QString::number(number).toStdU16String();
}

} // namespace

QStringList LoadStoredList(const char16_t* key, const char16_t* prefix, int limit) {
    QStringList list;
    const std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(key));
    if (!reg) return list;
    for (int i = 1; i <= limit; ++i) {
        char16_t text[1024];
        const int bytes = reg->ReadString(ValueName(prefix, i).c_str(), text, int(sizeof text));
        if (bytes > 0) list << QString::fromUtf16(text, bytes / 2);
    }
    return list;
}

void SaveStoredList(const char16_t* key, const char16_t* prefix, int limit, const QStringList& list) {
    const std::unique_ptr<CZynRegistry, RegistryRelease> reg(GetUserReg(key));
    if (!reg) return;
    for (int i = 0; i < limit; ++i) {
        const std::u16string value = i < list.size() ? list[i].toStdU16String() : std::u16string();
        reg->Store(ValueName(prefix, i + 1).c_str(), value.c_str());
    }
}
