import QtQuick 2.15
import QtQuick.Controls 2.15

ApplicationWindow {
    id: root

    width: 480
    height: 800
    visible: true
    title: "Validator"
}
