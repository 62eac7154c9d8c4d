// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QProcessBridgeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QProcess>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

namespace corvane {

namespace {

// Starting is fork and exec; a child that has not even started by then will
// not start at all.
constexpr int kStartTimeoutMs = 5000;
constexpr int kTerminateGraceMs = 1000;
constexpr int kReapTimeoutMs = 1000;
// How long a child told to stop may take before it is killed.
constexpr int kStopGraceMs = 2000;

}  // namespace

QProcessBridgeProcess::QProcessBridgeProcess() = default;

QProcessBridgeProcess::~QProcessBridgeProcess() {
    closeOutput();
    if (!process_) return;
    QObject::disconnect(process_.get(), nullptr, nullptr, nullptr);
    if (process_->state() == QProcess::NotRunning) return;
    process_->closeWriteChannel();
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
    // Standard output is a pipe of our own: QProcess notices its end only
    // when the child exits, and a child may close its output and linger.
    int output[2] = {-1, -1};
    if (::pipe2(output, O_CLOEXEC) != 0) {
        process_.reset();
        return fail(std::string("Could not create a pipe: ") + std::strerror(errno));
    }
    process_->setStandardOutputFile(QProcess::nullDevice());
    // The child goes when we do, a crash or SIGKILL included, instead of
    // holding the radio's port. The signal follows the thread that forked,
    // here the loop thread, which lives as long as the program. A parent that
    // died before prctl took effect is seen as a changed parent id.
    process_->setChildProcessModifier([parent = ::getpid(), writeEnd = output[1]] {
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(127);
        if (::dup2(writeEnd, STDOUT_FILENO) < 0) ::_exit(127);
    });

    QProcess* child = process_.get();
    QObject::connect(child, &QProcess::readyReadStandardError, child, [child] { child->readAllStandardError(); });
    QObject::connect(child, &QProcess::finished, child, [this] { finished(); });
    QObject::connect(child, &QProcess::errorOccurred, child, [this](QProcess::ProcessError error) {
        // Start failures are answered by start() itself; a crash ends in
        // `finished`.
        if (error == QProcess::ReadError) readFailed();
        if (error == QProcess::WriteError) writeFailed();
    });

    process_->start(QIODevice::ReadWrite);
    ::close(output[1]);
    outputFd_ = output[0];
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        closeOutput();
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
    ::fcntl(outputFd_, F_SETFL, ::fcntl(outputFd_, F_GETFL) | O_NONBLOCK);
    outputNotifier_ = std::make_unique<QSocketNotifier>(outputFd_, QSocketNotifier::Read);
    QObject::connect(outputNotifier_.get(), &QSocketNotifier::activated, outputNotifier_.get(),
                     [this] { readOutput(); });
    return Done{};
}

void QProcessBridgeProcess::closeOutput() {
    outputNotifier_.reset();
    if (outputFd_ >= 0) ::close(outputFd_);
    outputFd_ = -1;
}

Result<Done, std::string> QProcessBridgeProcess::writeLine(std::string_view line) {
    if (!isRunning()) return fail(std::string("The bridge process is not running."));
    const auto size = static_cast<qint64>(line.size());
    if (process_->write(line.data(), size) != size) return fail(process_->errorString().toStdString());
    // QProcess would write on the next loop iteration; handing the line to
    // the pipe now saves a loop round trip per request. Output or an exit
    // noticed meanwhile is delivered later from the loop (see deferred()).
    writing_ = true;
    writeRefused_ = false;
    process_->waitForBytesWritten(0);
    writing_ = false;
    if (writeRefused_) return fail(process_->errorString().toStdString());
    return Done{};
}

// End of input is the polite request a bridge may act on first; SIGTERM
// follows at once, and a child that ignores both is killed after the grace,
// so its exit notice comes and it is not kept alive until we quit.
void QProcessBridgeProcess::terminate() {
    if (!isRunning()) return;
    process_->closeWriteChannel();
    process_->terminate();
    QTimer::singleShot(kStopGraceMs, process_.get(), [this] {
        if (isRunning()) process_->kill();
    });
}

bool QProcessBridgeProcess::isRunning() const {
    return process_ && !exited_ && process_->state() != QProcess::NotRunning;
}

bool QProcessBridgeProcess::deferred(void (QProcessBridgeProcess::*notice)()) {
    if (!writing_) return false;
    QMetaObject::invokeMethod(process_.get(), [this, notice] { (this->*notice)(); }, Qt::QueuedConnection);
    return true;
}

// Reads what the pipe holds now; its end delivers the last, unterminated
// line (a child may close its output and go on running, or take long to exit).
void QProcessBridgeProcess::readOutput() {
    if (outputFd_ < 0 || deferred(&QProcessBridgeProcess::readOutput)) return;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(outputFd_, buffer, sizeof buffer);
        if (count > 0) {
            if (notices_.onLine) splitter_.feed(std::string_view(buffer, static_cast<std::size_t>(count)), notices_.onLine);
            if (outputFd_ < 0) return;  // a notice stopped us
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        const std::string failure = count < 0 ? std::strerror(errno) : std::string();
        closeOutput();
        if (notices_.onLine) splitter_.finish(notices_.onLine);
        if (!failure.empty() && !exited_ && notices_.onReadFailure) notices_.onReadFailure(failure);
        return;
    }
}

void QProcessBridgeProcess::readFailed() {
    if (exited_ || deferred(&QProcessBridgeProcess::readFailed)) return;
    if (notices_.onReadFailure) notices_.onReadFailure(process_->errorString().toStdString());
}

// Inside writeLine() the refusal is its answer; later (the rest of a line the
// pipe could not take at once) it is a notice.
void QProcessBridgeProcess::writeFailed() {
    if (writing_) {
        writeRefused_ = true;
        return;
    }
    if (!exited_ && notices_.onWriteFailure) notices_.onWriteFailure(process_->errorString().toStdString());
}

void QProcessBridgeProcess::finished() {
    if (exited_ || deferred(&QProcessBridgeProcess::finished)) return;
    // What the pipe still holds comes first; a grandchild that kept the pipe
    // open is not waited for.
    readOutput();
    closeOutput();
    if (notices_.onLine) splitter_.finish(notices_.onLine);
    exited_ = true;
    if (notices_.onExit) notices_.onExit();
}

}  // namespace corvane
