// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/OsascriptScriptRunner.h"

#include <QProcess>
#include <QStandardPaths>

namespace corvane {

ScriptOutcome OsascriptScriptRunner::run(const std::string& script) {
    const QString program = QStandardPaths::findExecutable("osascript");
    if (program.isEmpty()) {
        return {ScriptOutcome::Kind::failed,
                "Sending alerts through Messages needs macOS; osascript is not available on this computer."};
    }
    QProcess process;
    process.start(program, {"-"});
    if (!process.waitForStarted(static_cast<int>(limit_.count()))) {
        return {ScriptOutcome::Kind::failed, process.errorString().toStdString()};
    }
    process.write(script.data(), static_cast<qint64>(script.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(static_cast<int>(limit_.count()))) {
        process.kill();
        process.waitForFinished(1000);
        return {ScriptOutcome::Kind::failed, "The automation script did not finish in time."};
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
    const QString message = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (message.isEmpty()) return {ScriptOutcome::Kind::failed, std::nullopt};
    return {ScriptOutcome::Kind::failed, message.toStdString()};
}

}  // namespace corvane
