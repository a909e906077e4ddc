#include "console/field_settings.h"

#include "console/qt_text.h"
#include "modem/init_commands.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/sim_check.h"
#include "platform/ini_file.h"
#include "store/db/db_settings.h"
#include "store/phone_number.h"
#include "store/settings.h"

#include <optional>
#include <string>

namespace {

// A key's value as stored, "" when the key is absent, whatever the engine's default.
QString stored_value(const Setting& setting) {
    return from_gbk(read_setting(setting.key, "", setting.size));
}

// The value to store: blanks around it dropped, nullopt when nothing is left (the key goes).
std::optional<std::string> value_to_store(const QString& typed) {
    const QString value = typed.trimmed();
    if (value.isEmpty()) {
        return std::nullopt;
    }
    return to_gbk_lossy(value);
}

// The typed value as the engine would read it; nullopt when some character has no GBK form, which
// no valid value holds.
std::optional<std::string> engine_bytes(const QString& typed) {
    return to_gbk(typed.trimmed());
}

bool pin_acceptable(const QString& typed) {
    const std::optional<std::string> pin = engine_bytes(typed);
    return pin && (pin->empty() || pin_is_valid(*pin));
}

bool smsc_acceptable(const QString& typed) {
    const std::optional<std::string> smsc = engine_bytes(typed);
    return smsc && (smsc->empty() || international_service_centre(*smsc).has_value());
}

bool country_acceptable(const QString& typed) {
    const std::optional<std::string> country = engine_bytes(typed);
    return country && (country->empty() || is_country_code(*country));
}

// "" when INIT may be saved, else why not.
QString init_problem(const QString& typed) {
    const std::optional<std::string> init = engine_bytes(typed);
    if (!init) {
        return QStringLiteral("初始化命令（INIT）无效：只能用英文字符");
    }
    if (init->size() >= settings::init.size) {
        return QStringLiteral("初始化命令（INIT）太长：最多%1个字符").arg(settings::init.size - 1);
    }
    const std::string problem = parse_init_commands(*init).problem;
    return problem.empty() ? QString() : QStringLiteral("初始化命令（INIT）无效：") + from_gbk(problem);
}

// The PIN makes the file private; the other keys leave its access as the store would.
bool write_pin(const std::optional<std::string>& pin) {
    const FileAccess access = pin ? FileAccess::OwnerOnly : settings_file_access();
    return ini_write(settings_file, "SET", settings::pin.key, pin, access);
}

} // namespace

FieldSettings read_field_settings() {
    return {stored_value(settings::pin), stored_value(settings::smsc), stored_value(settings::init),
            stored_value(settings::country)};
}

QStringList field_settings_problems(const FieldSettings& values) {
    QStringList problems;
    if (!pin_acceptable(values.pin)) {
        problems << QStringLiteral("SIM卡PIN码应为4到8位数字");
    }
    if (!smsc_acceptable(values.smsc)) {
        problems << QStringLiteral("短信中心号码应为国际格式：+号和最多15位数字，例如 +8613800000500");
    }
    if (const QString problem = init_problem(values.init); !problem.isEmpty()) {
        problems << problem;
    }
    if (!country_acceptable(values.country)) {
        problems << QStringLiteral("国家代码应为1到3位数字，例如 86");
    }
    return problems;
}

QStringList write_field_settings(const FieldSettings& values) {
    QStringList unsaved;
    // The PIN goes first: once it is in the file, the file is private, and later writes keep it so.
    if (!write_pin(value_to_store(values.pin))) {
        unsaved << QString::fromLatin1(settings::pin.key);
    }
    const std::pair<const Setting&, const QString&> others[] = {
        {settings::smsc, values.smsc}, {settings::init, values.init}, {settings::country, values.country}};
    for (const auto& [setting, typed] : others) {
        if (!write_setting(setting, value_to_store(typed))) {
            unsaved << QString::fromLatin1(setting.key);
        }
    }
    return unsaved;
}
