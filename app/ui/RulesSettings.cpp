#include "app/ui/RulesSettings.h"

#include <QStringList>
#include <algorithm>

#include "app/engine/Pacing.h"

namespace flarecast::ui {

namespace {

using namespace std::chrono_literals;
using campaign::DeviceList;
using campaign::Hours;
using campaign::Retry;
using campaign::Rules;

const QString kGroup = QStringLiteral("campaign");

// The values a rule starts from when it is first turned on.
constexpr std::chrono::minutes kDefaultDeclinedWindow = 7 * 24h;
constexpr Hours kDefaultHours{9, 18, {true, true, true, true, true, true, true}};

// A number kept in the settings, or fallback when it is missing, not a number or out of range.
long long number(const QSettings& settings, const QString& key, long long fallback, long long least,
                 long long most) {
    bool ok = false;
    const long long value = settings.value(key).toLongLong(&ok);
    return ok && value >= least && value <= most ? value : fallback;
}

bool flag(const QSettings& settings, const QString& key) {
    return settings.value(key, false).toBool();
}

std::vector<std::string> strings(const QSettings& settings, const QString& key) {
    std::vector<std::string> kept;
    for (const QString& item : settings.value(key).toStringList()) {
        if (!item.isEmpty()) {
            kept.push_back(item.toStdString());
        }
    }
    return kept;
}

QStringList toStringList(const std::vector<std::string>& items) {
    QStringList list;
    for (const auto& item : items) {
        list.push_back(QString::fromStdString(item));
    }
    return list;
}

DeviceList deviceList(const QSettings& settings, const QString& name) {
    return {strings(settings, name + QStringLiteral("Addresses")),
            strings(settings, name + QStringLiteral("Prefixes")),
            strings(settings, name + QStringLiteral("Names"))};
}

void saveDeviceList(QSettings& settings, const QString& name, const DeviceList& list) {
    settings.setValue(name, !list.empty());
    if (list.empty()) {
        return;
    }
    settings.setValue(name + QStringLiteral("Addresses"), toStringList(list.addresses));
    settings.setValue(name + QStringLiteral("Prefixes"), toStringList(list.prefixes));
    settings.setValue(name + QStringLiteral("Names"), toStringList(list.names));
}

std::set<int> majorClasses(const QSettings& settings) {
    std::set<int> classes;
    for (const QString& item : settings.value(QStringLiteral("majorClassList")).toStringList()) {
        bool ok = false;
        const int major = item.toInt(&ok);
        if (ok && major >= 0 && major < 32) {
            classes.insert(major);
        }
    }
    return classes;
}

Hours hours(const QSettings& settings) {
    Hours kept = kDefaultHours;
    kept.from = static_cast<int>(number(settings, QStringLiteral("hoursFrom"), kept.from, 0, 23));
    kept.to = static_cast<int>(number(settings, QStringLiteral("hoursTo"), kept.to, 0, 23));
    if (settings.contains(QStringLiteral("hoursDays"))) {
        kept.days.fill(false);
        for (const QString& item : settings.value(QStringLiteral("hoursDays")).toStringList()) {
            bool ok = false;
            const int day = item.toInt(&ok);
            if (ok && day >= 0 && day < 7) {
                kept.days[static_cast<std::size_t>(day)] = true;
            }
        }
    }
    return kept;
}

// Each rule with its values, on or not.
// A window after an answer: unsaid, it takes its default; said off, it is none at all.
void loadWindow(const QSettings& settings, const QString& key,
                std::optional<std::chrono::minutes>& window) {
    if (!settings.contains(key)) {
        window.reset();
    } else if (!flag(settings, key)) {
        window = std::chrono::minutes(0);
    }
}

void saveWindow(QSettings& settings, const QString& key,
                const std::optional<std::chrono::minutes>& window) {
    if (!window) {
        settings.remove(key);
        return;
    }
    settings.setValue(key, window->count() > 0);
    if (window->count() > 0) {
        settings.setValue(key + QStringLiteral("Minutes"), static_cast<qlonglong>(window->count()));
    }
}

Rules values(const QSettings& settings) {
    Rules rules;
    rules.repeat = flag(settings, QStringLiteral("repeat"));
    rules.passPause = std::chrono::seconds(number(settings, QStringLiteral("passPauseSeconds"),
                                                  rules.passPause.count(), 0, 7 * 24 * 3600));
    rules.pushPause =
        std::chrono::milliseconds(number(settings, QStringLiteral("pushPauseMilliseconds"),
                                         engine::Pacing{}.pushPause.count(), 0, 24 * 3600 * 1000));
    rules.acceptedWindow = std::chrono::minutes(
        number(settings, QStringLiteral("acceptedWindowMinutes"),
               std::chrono::minutes(campaign::kDefaultAcceptedWindow).count(), 1, 366 * 24 * 60));
    const Retry retry;
    rules.retry = Retry{
        static_cast<int>(number(settings, QStringLiteral("retryTimes"), retry.times, 1, 1000)),
        std::chrono::minutes(number(settings, QStringLiteral("retryDelayMinutes"),
                                    retry.delay.count(), 0, 366 * 24 * 60))};
    rules.declinedWindow =
        std::chrono::minutes(number(settings, QStringLiteral("declinedWindowMinutes"),
                                    kDefaultDeclinedWindow.count(), 1, 366 * 24 * 60));
    rules.majorClasses = majorClasses(settings);
    rules.allow = deviceList(settings, QStringLiteral("allow"));
    rules.block = deviceList(settings, QStringLiteral("block"));
    rules.hours = hours(settings);
    rules.serveWhileInquiring = flag(settings, QStringLiteral("serveWhileInquiring"));
    return rules;
}

}  // namespace

Rules loadRuleValues(QSettings& settings) {
    settings.beginGroup(kGroup);
    Rules rules = values(settings);
    settings.endGroup();
    return rules;
}

Rules loadRules(QSettings& settings) {
    settings.beginGroup(kGroup);
    Rules rules = values(settings);
    const auto on = [&](const char* rule) { return flag(settings, QString::fromLatin1(rule)); };
    if (!rules.repeat) {
        rules.passPause = Rules{}.passPause;
    }
    if (!on("pushPause")) {
        rules.pushPause.reset();
    }
    loadWindow(settings, QStringLiteral("acceptedWindow"), rules.acceptedWindow);
    if (!on("retry")) {
        rules.retry.reset();
    }
    loadWindow(settings, QStringLiteral("declinedWindow"), rules.declinedWindow);
    if (!on("majorClasses")) {
        rules.majorClasses.reset();
    }
    if (!on("allow")) {
        rules.allow = {};
    }
    if (!on("block")) {
        rules.block = {};
    }
    if (!on("hours")) {
        rules.hours.reset();
    }
    settings.endGroup();
    return rules;
}

void saveRules(QSettings& settings, const Rules& rules) {
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("repeat"), rules.repeat);
    if (rules.repeat) {
        settings.setValue(QStringLiteral("passPauseSeconds"),
                          static_cast<qlonglong>(rules.passPause.count()));
    }
    settings.setValue(QStringLiteral("pushPause"), rules.pushPause.has_value());
    if (rules.pushPause) {
        settings.setValue(QStringLiteral("pushPauseMilliseconds"),
                          static_cast<qlonglong>(rules.pushPause->count()));
    }
    saveWindow(settings, QStringLiteral("acceptedWindow"), rules.acceptedWindow);
    settings.setValue(QStringLiteral("retry"), rules.retry.has_value());
    if (rules.retry) {
        settings.setValue(QStringLiteral("retryTimes"), rules.retry->times);
        settings.setValue(QStringLiteral("retryDelayMinutes"),
                          static_cast<qlonglong>(rules.retry->delay.count()));
    }
    saveWindow(settings, QStringLiteral("declinedWindow"), rules.declinedWindow);
    settings.setValue(QStringLiteral("majorClasses"), rules.majorClasses.has_value());
    if (rules.majorClasses) {
        QStringList classes;
        for (const int major : *rules.majorClasses) {
            classes.push_back(QString::number(major));
        }
        settings.setValue(QStringLiteral("majorClassList"), classes);
    }
    saveDeviceList(settings, QStringLiteral("allow"), rules.allow);
    saveDeviceList(settings, QStringLiteral("block"), rules.block);
    settings.setValue(QStringLiteral("hours"), rules.hours.has_value());
    if (rules.hours) {
        settings.setValue(QStringLiteral("hoursFrom"), rules.hours->from);
        settings.setValue(QStringLiteral("hoursTo"), rules.hours->to);
        QStringList days;
        for (std::size_t day = 0; day < rules.hours->days.size(); ++day) {
            if (rules.hours->days[day]) {
                days.push_back(QString::number(day));
            }
        }
        settings.setValue(QStringLiteral("hoursDays"), days);
    }
    settings.setValue(QStringLiteral("serveWhileInquiring"), rules.serveWhileInquiring);
    settings.endGroup();
}

}  // namespace flarecast::ui
