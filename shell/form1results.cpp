// What a run shows in the window besides its messages: the busy pointer, the progress bar with
// the time left, what each entry became, and the closing message with the results folder a
// click away.
#include "shell/form1.h"

#include "shell/entryoutcomes.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

namespace zentavo {

namespace {

// How often the time left counts down between files.
constexpr int TimeLeftTickMs = 1000;

}  // namespace

void Form1::setBusy(bool busy) {
    setPointer(busy ? PointerKind::Hourglass : PointerKind::Default);
    if (!busy && m_timeLeftTick.isActive()) {
        // The run is over (or the window closing): the time left goes with it.
        m_timeLeft.stop();
        m_timeLeftTick.stop();
        showProgressCaption();
    }
}

void Form1::setProgressValue(int value) {
    m_ui.ProgressBar1->setValue(value);
}

void Form1::runStarted(int files, const QString& resultsFolder) {
    m_outcomes->runStarted(files);
    m_runEnding = true;
    m_runFolder = resultsFolder;
    if (!m_clock.isValid()) {
        m_clock.start();
    }
    m_timeLeft.start(files, m_clock.elapsed());
    if (!m_timeLeftTick.isActive()) {
        m_timeLeftTick.setInterval(TimeLeftTickMs);
        connect(&m_timeLeftTick, &QTimer::timeout, this, &Form1::showProgressCaption,
                Qt::UniqueConnection);
        m_timeLeftTick.start();
    }
}

void Form1::fileDelivered(const DeliveredFile& file) {
    m_timeLeft.fileDone(m_clock.elapsed());
    // A results folder typed with a trailing separator names its outputs with a doubled one;
    // shown to the user, the same file reads better with one.
    QString output = file.outputPath;
    output.replace(QRegularExpression(QStringLiteral("/{2,}")), QStringLiteral("/"));
    m_outcomes->setOutcome(file.index, {file.outcome, output, file.reason});
    if (file.outcome == FileOutcome::Written && !output.isEmpty()) {
        // The folder the outputs went to, as the results folder read when this file was planned;
        // an output in a kept tree lies below it, and the folder to offer stays the top one.
        const QString folder = QFileInfo(output).absolutePath();
        const QString top = QDir(m_runFolder).absolutePath();
        const bool below = folder == top || folder.startsWith(top + QLatin1Char('/'));
        m_runFolder = below ? top : folder;
    }
    showProgressCaption();
}

void Form1::showClosingMessage(const QString& text, MessageIcon icon) {
    // The run is over when its closing message shows.
    m_ui.PushButton2->setText(QStringLiteral("Start Flipping or Rotating"));
    if (!std::exchange(m_runEnding, false)) {
        // A refused start: no run, no folder to offer.
        RunFrontEnd::showClosingMessage(text, icon);
        return;
    }
    const QString folder = m_runFolder;
    if (m_dialogs.messageWithButton(text, m_appTitle, icon,
                                    QStringLiteral("Open Results Folder"))) {
        m_opener->openFolder(folder);
    }
}

}  // namespace zentavo
