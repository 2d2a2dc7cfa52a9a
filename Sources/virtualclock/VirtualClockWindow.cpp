#include "virtualclock/VirtualClockWindow.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/DesktopIdentity.h"
#include "virtualclock/TubeDisplay.h"
#include "virtualclock/VirtualClock.h"

namespace {

// How many bytes the UTF-8 sequence that `lead` starts claims; 0 when `lead`
// cannot start one.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

QLabel* value(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long text is cut at the window's edge rather than widening it.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(60);
    return label;
}

}  // namespace

VirtualClockWindow::VirtualClockWindow(VirtualClock& clock, QWidget* parent) : QWidget(parent), clock_(&clock)
{
    setWindowTitle(tr("Virtual clock — Halodial"));
    setWindowIcon(DesktopIdentity::icon());

    device_ = value(this);
    lastFrame_ = value(this);
    frameCounts_ = value(this);
    unparseable_ = value(this);
    unparseable_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    plugButton_ = new QPushButton(this);
    plugButton_->setObjectName(QStringLiteral("plugButton"));
    connect(plugButton_, &QPushButton::clicked, this, &VirtualClockWindow::togglePlug);

    auto* status = new QGridLayout;
    status->setHorizontalSpacing(10);
    status->setVerticalSpacing(4);
    status->addWidget(caption(tr("Device"), this), 0, 0);
    status->addWidget(device_, 0, 1);
    status->addWidget(plugButton_, 0, 2);
    status->addWidget(caption(tr("Last frame"), this), 1, 0);
    status->addWidget(lastFrame_, 1, 1, 1, 2);
    status->addWidget(caption(tr("Received"), this), 2, 0);
    status->addWidget(frameCounts_, 2, 1, 1, 2);
    status->addWidget(caption(tr("Unparseable"), this), 3, 0);
    status->addWidget(unparseable_, 3, 1, 1, 2);
    status->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(12);
    layout->addWidget(makeFace(), 1);
    layout->addLayout(status);

    connect(&clock, &VirtualClock::stateChanged, this, &VirtualClockWindow::showState);
    connect(&clock, &VirtualClock::pluggedInChanged, this, &VirtualClockWindow::showDevice);
    connect(&clock, &QObject::destroyed, this, [this] {
        showState();
        showDevice();
    });
    showState();
    showDevice();
    resize(660, 370);
}

QWidget* VirtualClockWindow::makeFace()
{
    auto* face = new QFrame(this);
    face->setObjectName(QStringLiteral("clockFace"));
    face->setStyleSheet(QStringLiteral("#clockFace { border: 1px solid #2e3138; border-radius: 12px;"
                                       " background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                                       " stop:0 #23262d, stop:0.8 #111216, stop:1 #0b0c0e); }"));
    auto* row = new QHBoxLayout(face);
    row->setContentsMargins(18, 16, 18, 14);
    row->setSpacing(4);
    for (int i = 0; i < ClockFrame::kTubeCount; ++i) {
        // Hours, minutes and seconds stand apart, as on the clock.
        if (i > 0 && i % 2 == 0) {
            row->addSpacing(16);
        }
        tubes_[i] = new TubeDisplay(face);
        tubes_[i]->setObjectName(QStringLiteral("tube%1").arg(i + 1));
        row->addWidget(tubes_[i]);
    }
    return face;
}

QString VirtualClockWindow::escapedBytes(const QByteArray& bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\\') {
            text += QStringLiteral("\\\\");
            ++i;
            continue;
        }
        if (byte >= 0x20 && byte < 0x7F) {
            text += QChar(byte);
            ++i;
            continue;
        }
        // A character outside ASCII shows as itself when its bytes are
        // well-formed UTF-8 (they survive the round trip) and it prints.
        if (const int length = sequenceLength(byte); length > 0 && i + length <= bytes.size()) {
            const QByteArray sequence = bytes.sliced(i, length);
            const QString decoded = QString::fromUtf8(sequence);
            if (decoded.toUtf8() == sequence && QChar::isPrint(decoded.toUcs4().value(0))) {
                text += decoded;
                i += length;
                continue;
            }
        }
        text += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
        ++i;
    }
    return text;
}

void VirtualClockWindow::showState()
{
    if (!clock_) {
        for (TubeDisplay* tube : tubes_) {
            tube->setColour(Qt::black);
            tube->setDigit(QString());
        }
        lastFrame_->clear();
        frameCounts_->clear();
        unparseable_->clear();
        return;
    }
    const ClockFrame& tubes = clock_->tubes();
    for (int i = 0; i < ClockFrame::kTubeCount; ++i) {
        tubes_[i]->setDigit(tubes.digits[i]);
        tubes_[i]->setColour(tubes.colours[i]);
    }

    if (const auto kind = clock_->lastFrameKind()) {
        //: %1 is the kind of frame, "Save" or "Time" (translated below), %2 the time it came.
        lastFrame_->setText(tr("%1 frame at %2")
                                .arg(*kind == ClockFrame::Kind::Save ? tr("Save") : tr("Time"),
                                     clock_->lastFrameTime().toString(QStringLiteral("HH:mm:ss.zzz"))));
    } else {
        lastFrame_->setText(tr("None yet"));
    }
    frameCounts_->setText(
        //: The frame counts, such as "3 time frames, 1 save frame".
        tr("%1, %2").arg(tr("%n time frame(s)", nullptr, clock_->timeFrameCount()),
                         tr("%n save frame(s)", nullptr, clock_->saveFrameCount())));
    if (clock_->unparseableCount() == 0) {
        unparseable_->setText(tr("None"));
        unparseable_->setToolTip(QString());
    } else {
        //: Quotation marks around the unparseable bytes.
        const QString shown = tr("“%1”").arg(escapedBytes(clock_->lastUnparseable()));
        unparseable_->setText(shown);
        //: %1 is the last unparseable piece of text, in quotation marks.
        unparseable_->setToolTip(tr("%1\nThe last of %n piece(s)", nullptr, clock_->unparseableCount()).arg(shown));
    }
}

void VirtualClockWindow::showDevice()
{
    const bool pluggedIn = clock_ && clock_->isPluggedIn();
    if (pluggedIn) {
        device_->setText(QStringLiteral("%1 — %2").arg(clock_->deviceName(), clock_->devicePath()));
    } else if (clock_ && !clock_->errorString().isEmpty()) {
        device_->setText(tr("Unplugged: %1").arg(clock_->errorString()));
    } else {
        device_->setText(tr("Unplugged"));
    }
    plugButton_->setText(pluggedIn ? tr("Unplug") : tr("Plug in"));
    plugButton_->setEnabled(clock_ != nullptr);
}

void VirtualClockWindow::togglePlug()
{
    if (!clock_) {
        return;
    }
    if (clock_->isPluggedIn()) {
        clock_->unplug();
    } else if (!clock_->plugIn()) {
        showDevice();  // With the reason.
    }
}
