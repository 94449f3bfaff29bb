#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <QtTest>

// The Greek catalogue as the program gets it: compiled by lrelease at build time
// into the resource bundle. Every Greek text of the interface is looked up here
// under the context the GUI manager, the transaction record or the QML file uses.

namespace {

const char* const kCatalogue = ":/qml/translations/Quellan_el_GR.qm";

struct Row {
    const char* context;
    const char* source;
    const char* greek;
};

// Context, English source text, Greek text.
const Row kRows[] = {
    {"AlreadyValid", "ALREADY VALIDATED", "ΗΔΗ ΕΠΙΚΥΡΩΜΕΝΟ"},
    {"AlreadyValid", "Remaining", "Υπόλοιπο"},
    {"Valid", "Remaining", "Υπόλοιπο"},
    {"AlreadyValid", "Balance", "Υπόλοιπο"},
    {"Valid", "Balance", "Υπόλοιπο"},
    {"AlreadyValid", "Deducted", "Αφαιρέθηκαν"},
    {"Valid", "Deducted", "Αφαιρέθηκαν"},
    {"AlreadyValid", "Expires", "Λήγει"},
    {"Valid", "Expires", "Λήγει"},
    {"AlreadyValid", "Trips", "Διαδρομές"},
    {"Valid", "Trips", "Διαδρομές"},
    {"AlreadyValid", "day", "ημέρα"},
    {"Valid", "day", "ημέρα"},
    {"AlreadyValid", "days", "ημέρες"},
    {"Valid", "days", "ημέρες"},
    {"AlreadyValid", "hour", "ώρα"},
    {"Valid", "hour", "ώρα"},
    {"AlreadyValid", "hours", "ώρες"},
    {"Valid", "hours", "ώρες"},
    {"AlreadyValid", "min", "λεπτό"},
    {"Valid", "min", "λεπτό"},
    {"AlreadyValid", "mins", "λεπτά"},
    {"Valid", "mins", "λεπτά"},
    {"Valid", "VALID", "ΕΓΚΥΡΟ"},
    {"Invalid", "INVALID", "ΑΚΥΡΟ"},
    {"Retry", "PLEASE TRY AGAIN", "ΔΟΚΙΜΑΣΤΕ ΞΑΝΑ"},
    {"OutOfOrder", "OUT OF ORDER", "ΠΡΟΣΩΡΙΝΑ\nΕΚΤΟΣ ΛΕΙΤΟΥΡΓΙΑΣ"},
    {"OutOfService", "OUT OF SERVICE", "ΕΚΤΟΣ ΥΠΗΡΕΣΙΑΣ"},
    {"ScanCard", "SCAN\nYOUR CARD", "ΣΑΡΩΣΤΕ ΤΗΝ\nΚΑΡΤΑ ΣΑΣ"},
    {"ScanCard", "SCAN\nTICKET", "ΣΑΡΩΣΗ\nΕΙΣΙΤΗΡΙΟΥ"},
    {"ScanBarcode", "SCAN YOUR\nTICKET", "ΣΑΡΩΣΤΕ ΤΟ\nΕΙΣΙΤΗΡΙΟ ΣΑΣ"},
    {"ScanBarcode", "SCAN\nCARD", "ΣΑΡΩΣΗ\nΚΑΡΤΑΣ"},
    {"ScanScreens", "SCAN\nYOUR CARD", "ΣΑΡΩΣΤΕ ΤΗΝ\nΚΑΡΤΑ ΣΑΣ"},
    {"ScanScreens", "SCAN\nYOUR TICKET", "ΣΑΡΩΣΤΕ ΤΟ\nΕΙΣΙΤΗΡΙΟ ΣΑΣ"},
    {"Login", "LOGIN", "ΕΙΣΟΔΟΣ"},
    {"Login", "Pin", "Κωδικός"},
    {"CustomPopup", "Yes", "Ναι"},
    {"CustomPopup", "No", "Όχι"},
    {"GUIManager", "Initializing", "Αρχικοποίηση"},
    {"GUIManager", "Please Wait", "Παρακαλώ Περιμένετε"},
    {"GUIManager", "Rebooting", "Επανεκκίνηση"},
    {"GUIManager", "Shutting down", "Τερματισμός Λειτουργίας"},
    {"GUIManager", "Exiting", "Έξοδος"},
    {"Transaction", "The ticket is invalid", "Τα στοιχεία του εισιτηρίου δεν είναι σωστά"},
    {"Transaction", "The ticket has expired", "Το εισιτήριο έχει λήξει"},
    {"Transaction", "The ticket is not allowed in this route",
     "Δεν επιτρέπεται σε αυτή την διαδρομή"},
    {"Transaction", "The ticket has already been validated", "Το εισιτήριο έχει ήδη επικυρωθεί"},
    {"Transaction", "The ticket is not yet active", "Το εισιτήριο δεν είναι ενεργό"},
    {"Transaction", "Please try again", "Προσπαθήστε πάλι"},
    {"Transaction", "The ticket does not belong to this operator",
     "Το εισιτήριο δεν ανήκει σε αυτόν τον φορέα"},
    {"Transaction", "The ticket has an invalid passenger profile",
     "Το εισιτήριο δεν έχει σωστό προφίλ επιβάτη"},
    {"Transaction", "The ticket is not allowed in this axis",
     "Δεν επιτρέπεται σε αυτή την διαδρομή"},
    {"Transaction", "The ticket is not allowed in this zone", "Δεν επιτρέπεται σε αυτή την ζώνη"},
    {"Transaction", "The ticket has invalid timestamp",
     "Το εισιτήριο δεν έχει σωστή χρονική σήμανση"},
    {"Transaction", "The card is invalid", "Άκυρη κάρτα"},
    {"Transaction", "The card has expired", "Η κάρτα έχει λήξει"},
    {"Transaction", "The card is not allowed in this route",
     "Δεν επιτρέπεται σε αυτή την διαδρομή"},
    {"Transaction", "The card has already been validated", "Η κάρτα έχει ήδη επικυρωθεί"},
    {"Transaction", "The card does not have enough trips", "Ανεπαρκές υπόλοιπο διαδρομών"},
    {"Transaction", "The card does not have sufficient balance", "Ανεπαρκές υπόλοιπο"},
    {"Transaction", "This card can no longer be used",
     "Η κάρτα δεν μπορεί να χρησιμοποιηθεί και χρειάζεται αντικατάσταση"},
    {"Transaction", "The card is not active", "Η κάρτα δεν έχει ενεργοποιηθεί"},
    {"Transaction", "The card does not belong to this operator",
     "Η κάρτα δεν ανήκει σε αυτό τον φορέα"},
    {"Transaction", "The card is blocked", "Η κάρτα είναι στην λίστα μη αποδεκτών καρτών"},
    {"Transaction", "The product is blocked", "Το προιόν δεν μπορεί να χρησιμοποιηθεί"},
    {"Transaction", "The product is not yet active", "Το προιόν δεν είναι ενεργό"},
    {"Transaction", "Internal Error", "Εσωτερικό Σφάλμα"},
    {"Transaction", "Unknown Error", "Άγνωστο Σφάλμα"},
};

}  // namespace

class TestTranslations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTextHasItsGreek_data();
    void everyTextHasItsGreek();
    void lineBreaksAreRealLineBreaks();
    void textsWithoutEntryStayEnglish();
    void installedTranslatorTranslatesAndUninstallRestoresEnglish();

private:
    QTranslator m_translator;
};

void TestTranslations::initTestCase() {
    QVERIFY2(QFile::exists(kCatalogue), "the Greek catalogue is missing from the bundle");
    QVERIFY(m_translator.load(kCatalogue));
    QVERIFY(!m_translator.isEmpty());
}

void TestTranslations::everyTextHasItsGreek_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("greek");
    for (const Row& row : kRows) {
        const QString name = QStringLiteral("%1: %2").arg(
            QString::fromLatin1(row.context), QString::fromUtf8(row.source).replace('\n', '|'));
        QTest::newRow(qPrintable(name))
            << QString::fromLatin1(row.context) << QString::fromUtf8(row.source)
            << QString::fromUtf8(row.greek);
    }
}

void TestTranslations::everyTextHasItsGreek() {
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, greek);
    const QString translated =
        m_translator.translate(context.toUtf8().constData(), source.toUtf8().constData());
    QCOMPARE(translated, greek);
}

void TestTranslations::lineBreaksAreRealLineBreaks() {
    // The screens write the hints with a line break in the middle; the catalogue
    // must hold that break, not a backslash and an "n".
    const QString card = m_translator.translate("ScanCard", "SCAN\nYOUR CARD");
    QCOMPARE(card, QString::fromUtf8("ΣΑΡΩΣΤΕ ΤΗΝ\nΚΑΡΤΑ ΣΑΣ"));
    QCOMPARE(card.count('\n'), 1);
    QVERIFY(m_translator.translate("ScanCard", "SCAN\\nYOUR CARD").isEmpty());
    QVERIFY(m_translator.translate("ScanCard", "SCAN YOUR CARD").isEmpty());
    QCOMPARE(m_translator.translate("OutOfOrder", "OUT OF ORDER").count('\n'), 1);
}

void TestTranslations::textsWithoutEntryStayEnglish() {
    // A text of one screen is not translated under another screen's context, and the
    // settings area has no Greek entries at all.
    QVERIFY(m_translator.translate("Invalid", "VALID").isEmpty());
    QVERIFY(m_translator.translate("ScanBarcode", "SCAN\nYOUR CARD").isEmpty());
    QVERIFY(m_translator.translate("Valid", "ALREADY VALIDATED").isEmpty());
    QVERIFY(m_translator.translate("InitPage", "Enter Serial Number").isEmpty());
    QVERIFY(m_translator.translate("Transaction", "").isEmpty());
    QVERIFY(m_translator.translate("", "VALID").isEmpty());
}

void TestTranslations::installedTranslatorTranslatesAndUninstallRestoresEnglish() {
    QTranslator translator;
    QVERIFY(translator.load(kCatalogue));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCOMPARE(QCoreApplication::translate("GUIManager", "Initializing"),
             QString::fromUtf8("Αρχικοποίηση"));
    QCOMPARE(QCoreApplication::translate("CustomPopup", "No"), QString::fromUtf8("Όχι"));
    QVERIFY(QCoreApplication::removeTranslator(&translator));
    QCOMPARE(QCoreApplication::translate("GUIManager", "Initializing"),
             QStringLiteral("Initializing"));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
