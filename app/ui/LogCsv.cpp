#include "app/ui/LogCsv.h"

#include <QDate>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <system_error>

#include "app/engine/LineEnd.h"
#include "app/ui/DeviceTableModel.h"
#include "app/ui/FileExtension.h"
#include "app/ui/Paths.h"

namespace flarecast::ui {

namespace {

// Device names are chosen by whoever owns the device; a spreadsheet must not run them as a
// formula.
QString defuseFormula(const QString& field) {
    static const QString kTriggers = QStringLiteral("=+-@\t");
    if (!field.isEmpty() && kTriggers.contains(field.front())) {
        return QLatin1Char('\'') + field;
    }
    return field;
}

// Quoted only when needed, so plain fields stay exactly as they always were.
QString quoteIfNeeded(const QString& field) {
    static const QString kSpecial = QStringLiteral(",\"\r\n");
    for (const QChar c : field) {
        if (kSpecial.contains(c)) {
            QString quoted = field;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            return QLatin1Char('"') + quoted + QLatin1Char('"');
        }
    }
    return field;
}

}  // namespace

QString csvLine(const engine::Logfile& row, bool withAdapter) {
    QString line = quoteIfNeeded(defuseFormula(QString::fromStdString(row.bluetoothname))) +
                   QLatin1Char(',') +
                   quoteIfNeeded(defuseFormula(QString::fromStdString(row.bluetoothaddress))) +
                   QLatin1Char(',') + quoteIfNeeded(QString::fromStdString(row.datesent)) +
                   QLatin1Char(',') + (row.sent ? QStringLiteral("true") : QStringLiteral("false"));
    if (withAdapter) {
        line +=
            QLatin1Char(',') + quoteIfNeeded(defuseFormula(QString::fromStdString(row.adapter)));
    }
    line += QLatin1Char(',') + quoteIfNeeded(defuseFormula(QString::fromStdString(row.detail)));
    return line;
}

QString csvHeader(bool withAdapter) {
    return QLatin1String(kLogCsvHeader) +
           (withAdapter ? QLatin1String(kLogCsvAdapterColumn) : QLatin1String()) +
           QLatin1String(kLogCsvDetailColumn);
}

bool anyRowHasAdapter(const std::vector<engine::Logfile>& rows) {
    return std::any_of(rows.begin(), rows.end(),
                       [](const engine::Logfile& row) { return !row.adapter.empty(); });
}

QString withCsvSuffix(const QString& path) {
    if (extensionOf(toPath(path)) == "csv") {
        return path;
    }
    return path.endsWith(QLatin1Char('.')) ? path + QStringLiteral("csv")
                                           : path + QStringLiteral(".csv");
}

QString proposedLogName() {
    return QStringLiteral("flarecast-log-") + QDate::currentDate().toString(Qt::ISODate) +
           QStringLiteral(".csv");
}

std::optional<QString> saveLog(const QString& path, const DeviceTableModel& table) {
    QSaveFile file(path);
    // No fallback to writing the target in place: that could leave a half-written log.
    file.setDirectWriteFallback(false);
    const auto failure = [&path](QString reason) -> std::optional<QString> {
        QString description = path + QStringLiteral(" (") + reason + QLatin1Char(')');
        description.replace(QLatin1Char('\n'), QLatin1Char(' '));
        description.replace(QLatin1Char('\r'), QLatin1Char(' '));
        return description;
    };
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(file.errorString());
    }
    const auto writeLine = [&file](const QString& line) {
        file.write(
            (line + QLatin1String(engine::kLineEnd.data(), engine::kLineEnd.size())).toUtf8());
    };
    // The four columns stay first, as they always were, for tools that read them by position.
    bool withAdapter = false;
    for (int index = 0; index < table.rowCount() && !withAdapter; ++index) {
        withAdapter = !table.row(index).adapter.empty();
    }
    writeLine(csvHeader(withAdapter));
    // The count is read again after every row: rows that arrive meanwhile are saved too.
    for (int index = 0; index < table.rowCount(); ++index) {
        writeLine(csvLine(table.row(index), withAdapter));
    }
    // commit() alone would rename a file cut short by a failed buffered write (a full disk, say)
    // over the earlier log; an explicit flush reports that failure.
    errno = 0;
    if (!file.flush()) {
        const int cause = errno;
        file.cancelWriting();
        return failure(cause != 0 ? QString::fromStdString(std::generic_category().message(cause))
                                  : file.errorString());
    }
    if (!file.commit()) {
        return failure(file.errorString());
    }
    return std::nullopt;
}

}  // namespace flarecast::ui
