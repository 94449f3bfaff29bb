import "../controls"
import "../pages"

// The validator has been taken out of service.
ResultPage {
    icon: "qrc:/qml/images/Icons/warning.svg"
    iconSize: 300
    iconColor: Style.warning
    title: manager.dynTr + qsTr("OUT OF SERVICE")
    titleSize: 20
    titleMargin: 35
    subtitle: ""
    subtitleSize: 14
}
