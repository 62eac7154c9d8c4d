#include "platform/QProcessBridgeProcess.h"

#include <QProcess>
#include <QStringList>

namespace corvane {

namespace {

// Starting is fork and exec; a child that has not even started by then will
// not start at all.
constexpr int kStartTimeoutMs = 5000;
constexpr int kTerminateGraceMs = 1000;
constexpr int kReapTimeoutMs = 1000;

}  // namespace

QProcessBridgeProcess::QProcessBridgeProcess() = default;

QProcessBridgeProcess::~QProcessBridgeProcess() {
    if (!process_) return;
    QObject::disconnect(process_.get(), nullptr, nullptr, nullptr);
    if (process_->state() == QProcess::NotRunning) return;
    process_->terminate();
    if (!process_->waitForFinished(kTerminateGraceMs)) {
        process_->kill();
        process_->waitForFinished(kReapTimeoutMs);
    }
}

Result<Done, std::string> QProcessBridgeProcess::start(const std::string& executable,
                                                       const std::vector<std::string>& arguments, Notices notices) {
    if (process_) return fail(std::string("This bridge process was already started."));
    process_ = std::make_unique<QProcess>();
    QStringList argumentList;
    for (const auto& argument : arguments) argumentList.append(QString::fromStdString(argument));
    process_->setProgram(QString::fromStdString(executable));
    process_->setArguments(argumentList);
    process_->setProcessChannelMode(QProcess::SeparateChannels);

    QProcess* child = process_.get();
    QObject::connect(child, &QProcess::readyReadStandardOutput, child, [this] { readOutput(); });
    QObject::connect(child, &QProcess::readyReadStandardError, child, [child] { child->readAllStandardError(); });
    QObject::connect(child, &QProcess::finished, child, [this] { finished(); });
    QObject::connect(child, &QProcess::errorOccurred, child, [this](QProcess::ProcessError error) {
        // Start failures are answered by start() itself; a crash or a write
        // refused ends in `finished` or in the failed writeLine.
        if (error == QProcess::ReadError) readFailed();
    });

    process_->start(QIODevice::ReadWrite);
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        auto message = process_->errorString().toStdString();
        QObject::disconnect(child, nullptr, nullptr, nullptr);
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(kReapTimeoutMs);
        }
        process_.reset();
        return fail(std::move(message));
    }
    notices_ = std::move(notices);
    return Done{};
}

Result<Done, std::string> QProcessBridgeProcess::writeLine(std::string_view line) {
    if (!isRunning()) return fail(std::string("The bridge process is not running."));
    const auto size = static_cast<qint64>(line.size());
    if (process_->write(line.data(), size) != size) return fail(process_->errorString().toStdString());
    // QProcess would write on the next loop iteration; handing the line to
    // the pipe now saves a loop round trip per request. Output or an exit
    // noticed meanwhile is delivered later from the loop (see deferred()).
    writing_ = true;
    process_->waitForBytesWritten(0);
    writing_ = false;
    return Done{};
}

void QProcessBridgeProcess::terminate() {
    if (isRunning()) process_->terminate();
}

bool QProcessBridgeProcess::isRunning() const {
    return process_ && !exited_ && process_->state() != QProcess::NotRunning;
}

bool QProcessBridgeProcess::deferred(void (QProcessBridgeProcess::*notice)()) {
    if (!writing_) return false;
    QMetaObject::invokeMethod(process_.get(), [this, notice] { (this->*notice)(); }, Qt::QueuedConnection);
    return true;
}

void QProcessBridgeProcess::readOutput() {
    if (deferred(&QProcessBridgeProcess::readOutput)) return;
    const QByteArray bytes = process_->readAllStandardOutput();
    if (bytes.isEmpty() || !notices_.onLine) return;
    splitter_.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                   notices_.onLine);
}

void QProcessBridgeProcess::readFailed() {
    if (exited_ || deferred(&QProcessBridgeProcess::readFailed)) return;
    if (notices_.onReadFailure) notices_.onReadFailure(process_->errorString().toStdString());
}

void QProcessBridgeProcess::finished() {
    if (exited_ || deferred(&QProcessBridgeProcess::finished)) return;
    readOutput();
    if (notices_.onLine) splitter_.finish(notices_.onLine);
    exited_ = true;
    if (notices_.onExit) notices_.onExit();
}

}  // namespace corvane
