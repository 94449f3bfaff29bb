import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../../controls"
import "../../controls/settings"

// The device's event log, newest first, under one header per day, with a name
// search and a choice of period.
Page {
    id: root


    // Events carry no day of their own: each row gets the day of its time, and
    // the list's sections group the rows by it. The log's view is already newest
    // first, so the rows of one day follow each other.
    // The texts of a time are formatted once per language: a search rebuilds the
    // rows from the texts of the previous build.
    function rebuild() {
        var events = eventLogManager.data;
        var previous = root.timeTexts;
        var texts = {};
        var list = [];
        for (var i = 0; i < events.length; ++i) {
            var event = events[i];
            var when = event.timestamp;
            var known = when instanceof Date && !isNaN(when.getTime());
            var key = known ? when.getTime() : NaN;
            var text = known ? (texts[key] || previous[key]) : undefined;
            if (known && text === undefined) {
                text = {
                    "time": when.toLocaleString(root.locale, "dd-MMM-yy hh:mm"),
                    "date": when.toLocaleDateString(root.locale, "dddd, d MMMM yyyy")
                };
            }
            if (known)
                texts[key] = text;
            list.push({
                "name": event.name,
                "description": event.description,
                "time": known ? text.time : "",
                "date": known ? text.date : manager.dynTr + qsTr("Unknown date")
            });
        }
        root.timeTexts = texts;
        rows.clear();
        rows.append(list);
    }

    property var timeTexts: ({})

    // The page and its controls speak the chosen language.
    locale: Qt.locale(manager.language)
    title: manager.dynTr + qsTr("Event Log")

    // The log keeps its filters while the program runs; the page opens with an
    // empty search and "All history", so the list shows what the boxes say.
    Component.onCompleted: {
        eventLogManager.applyFilter("");
        eventLogManager.applyFilterPeriod("All history");
        Qt.callLater(rebuild);
    }

    Connections {
        target: eventLogManager

        // Several changes in a row (both filters on opening) rebuild once.
        function onDataChanged() {
            Qt.callLater(root.rebuild);
        }
    }

    // Day and time texts follow the language, once the page's locale has.
    Connections {
        target: manager

        function onLanguageChanged() {
            root.timeTexts = {};
            Qt.callLater(root.rebuild);
        }
    }

    ListModel {
        id: rows
    }

    ColumnLayout {
        anchors.top: parent.top
        anchors.topMargin: 10
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width * 0.8
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            TintedIcon {
                Layout.preferredWidth: 30
                Layout.preferredHeight: 30
                source: "qrc:/qml/images/Icons/search.svg"
                color: Style.foreground
            }
            TextField {
                id: searchField

                objectName: "searchField"
                Layout.fillWidth: true
                placeholderText: manager.dynTr + qsTr("Search")
                inputMethodHints: Qt.ImhNoPredictiveText
                // Typing restarts the pause; the list follows once it is over.
                onTextChanged: searchPause.restart()

                Timer {
                    id: searchPause

                    interval: 300
                    onTriggered: eventLogManager.applyFilter(searchField.text)
                }
            }
            PageButton {
                objectName: "clearButton"
                text: manager.dynTr + qsTr("CLEAR")
                onClicked: {
                    searchField.text = "";
                    searchPause.stop();
                    eventLogManager.applyFilter("");
                    Qt.inputMethod.hide();
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            // Events carry no severity, so there is nothing to choose between:
            // the box stays at "All messages", which is what the list shows.
            DropDown {
                objectName: "severityBox"
                Layout.fillWidth: true
                model: ["Critical", "Warning", "All messages"]
                currentIndex: 2
                enabled: false
            }
            DropDown {
                objectName: "historyBox"
                Layout.fillWidth: true
                model: ["All history", "Last hour", "Last 2 hours", "Today", "Yesterday",
                    "Last week", "Last month"]
                onActivated: {
                    eventLogManager.applyFilterPeriod(currentText);
                    Qt.inputMethod.hide();
                }
            }
        }

        ListView {
            id: list

            objectName: "eventList"
            Layout.fillWidth: true
            Layout.preferredHeight: 600
            clip: true
            spacing: 4
            model: rows
            section.property: "date"
            section.criteria: ViewSection.FullString
            section.delegate: RowLayout {
                width: ListView.view.width
                height: 40
                spacing: 8

                TintedIcon {
                    Layout.preferredWidth: 22
                    Layout.preferredHeight: 22
                    source: "qrc:/qml/images/Icons/calendar.svg"
                    color: Style.accent
                }
                Label {
                    objectName: "sectionLabel"
                    Layout.fillWidth: true
                    text: section
                    font.pixelSize: 18
                    color: Style.accent
                }
            }

            delegate: MessageRowItem {
                width: ListView.view.width
                title: model.name
                message: model.description
                time: model.time
                isExpandable: true
                enableColorAnimation: true
                scale: press.active ? 0.95 : 1.0

                // Watches the press without taking it from the row's own touch area.
                Item {
                    anchors.fill: parent
                    z: 1

                    // Passive: only sees the touch point, never grabs it.
                    PointHandler {
                        id: press
                    }
                }
            }
        }
    }
}
