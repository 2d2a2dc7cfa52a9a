#include "console/LineStatusWidget.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <utility>

#include "VELSerialPort.h"

namespace {

const char* const inputNames[] = {"CTS", "DSR", "DCD"};

}  // namespace

LineStatusWidget::Lines LineStatusWidget::Lines::of(const std::shared_ptr<VELSerialPort>& port)
{
    Lines lines;
    if (!port) {
        return lines;
    }
    lines.observable = port;
    VELSerialPort* p = port.get();
    lines.isOpen = [p] { return p->isOpen(); };
    lines.inputs = {[p] { return p->CTS(); }, [p] { return p->DSR(); }, [p] { return p->DCD(); }};
    lines.rts = [p] { return p->RTS(); };
    lines.dtr = [p] { return p->DTR(); };
    lines.setRts = [p](bool on) { p->setRTS(on); };
    lines.setDtr = [p](bool on) { p->setDTR(on); };
    lines.hasModemLines = [p] { return p->hasModemLines(); };
    return lines;
}

LineStatusWidget::LineStatusWidget(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString descriptions[] = {tr("Clear To Send, from the device"), tr("Data Set Ready, from the device"),
                                    tr("Data Carrier Detect, from the device")};
    for (int i = 0; i < 3; ++i) {
        indicators_[i] = new QLabel(this);
        indicators_[i]->setObjectName(QString::fromLatin1(inputNames[i]).toLower() + QLatin1String("Indicator"));
        indicators_[i]->setAccessibleName(tr("%1 line").arg(QString::fromLatin1(inputNames[i])));
        indicators_[i]->setWhatsThis(descriptions[i]);
        layout->addWidget(indicators_[i]);
    }
    rts_ = new QCheckBox(tr("RTS"), this);
    rts_->setObjectName(QStringLiteral("rtsToggle"));
    rts_->setAccessibleName(tr("RTS line (Request To Send)"));
    dtr_ = new QCheckBox(tr("DTR"), this);
    dtr_->setObjectName(QStringLiteral("dtrToggle"));
    dtr_->setAccessibleName(tr("DTR line (Data Terminal Ready)"));
    layout->addWidget(rts_);
    layout->addWidget(dtr_);
    connect(rts_, &QCheckBox::toggled, this, [this](bool on) {
        if (lines_.setRts && lines_.rts && lines_.rts() != on) {
            lines_.setRts(on);
        }
    });
    connect(dtr_, &QCheckBox::toggled, this, [this](bool on) {
        if (lines_.setDtr && lines_.dtr && lines_.dtr() != on) {
            lines_.setDtr(on);
        }
    });
    refresh();
}

void LineStatusWidget::setLines(Lines lines)
{
    observations_.clear();
    lines_ = std::move(lines);
    available_ = true;
    if (lines_.observable) {
        for (const char* key : {"CTS", "DSR", "DCD", "RTS", "DTR", "isOpen", "hasModemLines"}) {
            observations_.push_back(lines_.observable->addObserver(key, [this](const vel::Change& change) {
                if (!change.isPrior) {
                    scheduleRefresh();
                }
            }));
        }
    }
    refresh();
}

void LineStatusWidget::setModemLinesAvailable(bool available)
{
    available_ = available;
    refresh();
}

QString LineStatusWidget::indicatorState(int line) const
{
    return indicators_.at(static_cast<std::size_t>(line))->accessibleDescription();
}

void LineStatusWidget::scheduleRefresh()
{
    // Notices come on the thread that made the change (closing finishes on
    // a background queue); one refresh on the GUI thread takes them all.
    QMetaObject::invokeMethod(
        this,
        [this] { refresh(); },
        Qt::QueuedConnection);
}

void LineStatusWidget::refresh()
{
    const bool open = lines_.isOpen && lines_.isOpen();
    const bool hasLines = available_ && (!lines_.hasModemLines || lines_.hasModemLines());
    const bool usable = open && hasLines;
    for (int i = 0; i < 3; ++i) {
        QLabel* indicator = indicators_[i];
        const QString name = QString::fromLatin1(inputNames[i]);
        QString state;
        QString colour;
        if (!usable) {
            state = tr("unavailable");
            colour = QStringLiteral("#9a9a9a");
        } else if (lines_.inputs[i] && lines_.inputs[i]()) {
            state = tr("on");
            colour = QStringLiteral("#2fa84f");
        } else {
            state = tr("off");
            colour = QStringLiteral("#5a2a2a");
        }
        indicator->setText(QStringLiteral("<span style=\"color:%1\">\u25CF</span> %2").arg(colour, name));
        indicator->setAccessibleDescription(state);
        indicator->setToolTip(!open        ? tr("%1: no open port").arg(name)
                              : !hasLines ? tr("%1: this device has no modem lines").arg(name)
                                            : tr("%1 is %2").arg(name, state));
    }
    for (auto [box, get] : {std::pair{rts_, lines_.rts}, std::pair{dtr_, lines_.dtr}}) {
        const QSignalBlocker blocker(box);
        box->setEnabled(usable);
        box->setChecked(get && get());
    }
    rts_->setToolTip(usable ? tr("Request To Send, to the device") : tr("Not available on this port"));
    dtr_->setToolTip(usable ? tr("Data Terminal Ready, to the device") : tr("Not available on this port"));
}
