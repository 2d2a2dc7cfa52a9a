#pragma once

#include <QObject>
#include <QPointer>

class QComboBox;
class PortListModel;
class SerialPortDemoController;

// Binds the window's port selector both ways to the controller's port: the
// list shows the manager's ports, the user's choice becomes the controller's
// port, and the selector always shows the controller's port, by identity,
// whatever happens to the list around it. A port that is not in the list (a
// terminal given on the command line) shows as the selector's placeholder.
class PortSelector : public QObject {
    Q_OBJECT

public:
    // Neither the combo box nor the controller is owned; the model is.
    PortSelector(QComboBox& comboBox, PortListModel& model, SerialPortDemoController& controller,
                 QObject* parent = nullptr);

private:
    void userChose(int row);
    void showControllersPort();

    QPointer<QComboBox> comboBox_;
    QPointer<PortListModel> model_;
    QPointer<SerialPortDemoController> controller_;
};
