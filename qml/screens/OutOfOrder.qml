import "../controls"
import "../pages"

// The validator cannot serve; the message carries the reason code and, when
// configured, the reason itself.
ResultPage {
    icon: "qrc:/qml/images/Icons/warning.svg"
    iconSize: 300
    iconColor: Style.invalid
    title: manager.dynTr + qsTr("OUT OF ORDER")
    titleSize: 20
    subtitle: manager.message
    subtitleSize: 14
}
