// USB serial adapters plugged and unplugged under a running form, presented by umockdev: real sysfs
// attributes, udev properties and udev events, and a device node (a pseudo-terminal behind it) that the
// port opens. Runs under umockdev-wrapper (its preload redirects /sys, /dev and udev's socket to the test
// bed); without it the tests are skipped.
// glib's headers before Qt's, whose "signals" keyword they use as a name.
#include <umockdev.h>

#include "FormSetupFixture.h"

#include "CSerialPortBase.h"
#include "PortListModel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include <cstdlib>
#include <cstring>

namespace {

// The adapter's devices as udev records them: the USB device with its strings, its interface with the
// driver, and the tty with its node, its by-id link and udev's properties. usb: the USB port ("1-1"),
// tty: the node the kernel gives it ("ttyUSB0").
std::string Adapter(const std::string& usb, const std::string& tty, const std::string& minor) {
    const std::string device = "/devices/pci0000:00/usb1/" + usb;
    return "P: " + device +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=0403\nA: idProduct=6001\n"
           "A: manufacturer=FTDI\nA: product=FT232R USB UART\nA: serial=A10K3J\n\n"
           "P: " +
           device + "/" + usb +
           ":1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
           "L: driver=../../../../bus/usb/drivers/ftdi_sio\n\n"
           "P: " +
           device + "/" + usb + ":1.0/" + tty + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty +
           "\nE: ID_SERIAL_SHORT=A10K3J\n"
           "E: DEVLINKS=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0\nA: dev=188:" +
           minor + "\n";
}
const QString kListed = QStringLiteral("COM33  FT232R USB UART (A10K3J)");

// Every ioctl on the emulated node is carried out on the pseudo-terminal behind it, so that the real
// port (exclusive mode, termios, queue sizes) works on it.
gboolean PassThrough(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    int error = 0;
    const int result = umockdev_ioctl_client_execute(client, &error, nullptr);
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

class PortHotplug : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (preload == nullptr || std::strstr(preload, "libumockdev-preload") == nullptr) {
            GTEST_SKIP() << "needs umockdev-wrapper (its preload presents the test bed's devices)";
        }
        m_bed = umockdev_testbed_new();
        m_passThrough = umockdev_ioctl_base_new();
        g_signal_connect(m_passThrough, "handle-ioctl", G_CALLBACK(PassThrough), nullptr);
        ASSERT_TRUE(m_ports.isValid());
    }
    void TearDown() override {
        window.reset();
        if (m_bed != nullptr) {
            g_object_unref(m_passThrough);
            g_object_unref(m_bed);
        }
    }

    // Plugs the adapter into USB port usb, where the kernel names it tty.
    void Plug(const std::string& usb = "1-1", const std::string& tty = "ttyUSB0") {
        GError* error = nullptr;
        const std::string minor = tty.substr(6);
        ASSERT_TRUE(umockdev_testbed_add_from_string(m_bed, Adapter(usb, tty, minor).c_str(), &error))
            << error->message;
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(m_bed, ("/dev/" + tty).c_str(), m_passThrough, &error))
            << error->message;
        m_usb = usb;
        m_tty = tty;
        // udev's by-id link, which the test bed has only as a property.
        gchar* root = umockdev_testbed_get_root_dir(m_bed);
        m_byId = QString::fromUtf8(root) +
                 QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0");
        g_free(root);
        QDir().mkpath(QFileInfo(m_byId).path());
        QFile::remove(m_byId);
        ASSERT_TRUE(QFile::link(QStringLiteral("../../") + QString::fromStdString(tty), m_byId));
    }
    void Unplug() { Unplug(m_usb, m_tty); }
    void Unplug(const std::string& usb, const std::string& ttyName) {
        const std::string device = "/sys/devices/pci0000:00/usb1/" + usb;
        const std::string tty = device + "/" + usb + ":1.0/" + ttyName;
        QFile::remove(m_byId);
        umockdev_testbed_uevent(m_bed, tty.c_str(), "remove");
        umockdev_testbed_remove_device(m_bed, tty.c_str());
        umockdev_testbed_remove_device(m_bed, (device + "/" + usb + ":1.0").c_str());
        umockdev_testbed_remove_device(m_bed, device.c_str());
    }
    AppServices Services() const {
        return AppServices{
            PortNameTable(m_ports.path().toStdString(), "/sys", "/dev", m_ports.path().toStdString()),
            nullptr, DownloadWorker::Options(), QString()};
    }
    void StartForm() {
        window = std::make_unique<MainWindow>(Services());
        ASSERT_TRUE(window->ok);
        form = window->Form();
        ASSERT_TRUE(form->Ports()->HasPortMonitor());
    }
    QStringList Entries() const {
        QStringList entries;
        for (int i = 0; i < form->PortList()->count(); ++i) {
            entries << form->PortList()->itemText(i);
        }
        return entries;
    }

    // Well under the 5-second refresh: only the udev monitor brings the change in time; a generous
    // bound otherwise (the monitor's own delay is measured, not asserted).
    static constexpr int kBeforeTheRefreshMs = 4000;

    UMockdevTestbed* m_bed = nullptr;
    std::string m_usb, m_tty;
    QString m_byId;
    UMockdevIoctlBase* m_passThrough = nullptr;
    QTemporaryDir m_ports;
    CScriptedMessageBoxes boxes;
    std::unique_ptr<MainWindow> window;
    CFormSetup* form = nullptr;
};

TEST_F(PortHotplug, PluggedAdapterAppearsWithItsIdentityAndGoesWhenUnplugged) {
    StartForm();
    EXPECT_EQ(form->PortList()->count(), 0);
    Plug();
    ASSERT_TRUE(WaitFor([&] { return Entries() == QStringList{kListed}; }, kBeforeTheRefreshMs))
        << Entries().join(",").toStdString();
    // What Open uses and the pick remembers is the name alone.
    EXPECT_EQ(form->SelectedPortName(), QStringLiteral("COM33"));
    EXPECT_TRUE(form->KeepNameAction()->isEnabled());
    // The whole entry can be read: in the open list and as the box's tip.
    QComboBox* list = form->PortList();
    EXPECT_GE(list->view()->minimumWidth(), list->fontMetrics().horizontalAdvance(kListed));
    EXPECT_EQ(list->toolTip(), kListed);
    Unplug();
    EXPECT_TRUE(WaitFor([&] { return form->PortList()->count() == 0; }, kBeforeTheRefreshMs));
}

TEST_F(PortHotplug, UnpluggingTheOpenPortClosesItAndPluggingItBackLetsItOpenAgain) {
    Plug();
    StartForm();
    ASSERT_EQ(Entries(), QStringList{kListed});
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Session().Port().isOpen()) << boxes.shown.back().text.toStdString();
    EXPECT_STREQ(form->Session().Port().portName(), "COM33");

    Unplug(); // nothing is being sent
    ASSERT_TRUE(WaitFor([&] { return !form->Session().Port().isOpen(); }, kBeforeTheRefreshMs));
    EXPECT_EQ(form->OpenPortButton()->text(), QStringLiteral("Open Port"));
    EXPECT_TRUE(form->PortList()->isEnabled());
    EXPECT_FALSE(form->DownloadButton()->isEnabled());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QLatin1String("COM33")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QLatin1String("FT232R USB UART (A10K3J)")))
        << boxes.shown[0].text.toStdString();

    // Back in another socket: the kernel names it anew, and the list shows it under that name.
    Plug("1-2", "ttyUSB1");
    const QString relisted = QStringLiteral("COM34  FT232R USB UART (A10K3J)");
    ASSERT_TRUE(WaitFor([&] { return Entries() == QStringList{relisted}; }, kBeforeTheRefreshMs));
    QTest::mouseClick(form->OpenPortButton(), Qt::LeftButton);
    EXPECT_TRUE(form->Session().Port().isOpen());
    EXPECT_STREQ(form->Session().Port().portName(), "COM34");
    EXPECT_EQ(boxes.shown.size(), 1u);
}

// The list on its own, with two adapters plugged and the first one's port open: unplugging the other
// tells nothing and leaves the open port's list alone; unplugging the open port's adapter tells once,
// naming the adapter.
TEST_F(PortHotplug, OnlyTheOpenPortsAdapterGoingAwayIsTold) {
    Plug("1-1", "ttyUSB0");
    Plug("1-2", "ttyUSB1");
    PortListModel ports(Services().portTable);
    ASSERT_TRUE(ports.HasPortMonitor());
    ports.RefreshPortList();
    ASSERT_EQ(ports.rowCount(), 2);
    EXPECT_EQ(ports.SelectedPortName(), QStringLiteral("COM34")); // the last entry
    ports.Pick(0);
    ports.SetOpenPort("COM33");
    EXPECT_FALSE(ports.IsRefreshTimerActive());
    EXPECT_FALSE(ports.IsKeepNameOffered()); // not while the port is open
    QSignalSpy gone(&ports, &PortListModel::openPortGone);
    QSignalSpy changed(&ports, &PortListModel::listChanged);

    Unplug("1-2", "ttyUSB1");
    // The test bed has put the event into the monitor's socket on return; the model takes it on the next
    // turn of the event loop, apart from the open port's.
    QTest::qWait(100);
    EXPECT_EQ(gone.count(), 0);
    Unplug("1-1", "ttyUSB0");
    ASSERT_TRUE(WaitFor([&] { return gone.count() > 0; }, kBeforeTheRefreshMs));
    ASSERT_EQ(gone.count(), 1);
    EXPECT_EQ(gone[0][0].toString(), QStringLiteral("FT232R USB UART (A10K3J)"));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(ports.rowCount(), 2);

    // Closed, the list follows the next event at once, and the pick that went away gives the last entry.
    ports.SetOpenPort({});
    EXPECT_TRUE(ports.IsRefreshTimerActive());
    Plug("1-3", "ttyUSB2"); // a node name not used before: the test bed keeps a node once made
    ASSERT_TRUE(WaitFor([&] { return ports.rowCount() == 1; }, kBeforeTheRefreshMs));
    EXPECT_EQ(ports.SelectedPortName(), QStringLiteral("COM35"));
    EXPECT_EQ(gone.count(), 1); // the open port's remove was told once, no later
}

TEST_F(PortHotplug, KeepingTheAdaptersNameWritesItsByIdLink) {
    Plug();
    StartForm();
    form->KeepNameAction()->trigger();
    EXPECT_EQ(QFile::symLinkTarget(m_ports.path() + QStringLiteral("/COM33")),
              QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0"));
    EXPECT_FALSE(form->KeepNameAction()->isEnabled()); // kept already
}

TEST_F(PortHotplug, KavoCliPortsShowsTheIdentity) {
    Plug();
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the preload and the test bed
    env.insert(QStringLiteral("KAVO_PORTS_DIR"), m_ports.path());
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(KAVO_CLI), {QStringLiteral("ports"), QStringLiteral("--json")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QJsonArray records = QJsonDocument::fromJson(cli.readAllStandardOutput()).array();
    ASSERT_EQ(records.size(), 1);
    const QJsonObject r = records[0].toObject();
    EXPECT_EQ(r[QStringLiteral("name")].toString(), QStringLiteral("COM33"));
    EXPECT_EQ(r[QStringLiteral("device")].toString(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(r[QStringLiteral("vendorId")].toString(), QStringLiteral("0403"));
    EXPECT_EQ(r[QStringLiteral("productId")].toString(), QStringLiteral("6001"));
    EXPECT_EQ(r[QStringLiteral("serial")].toString(), QStringLiteral("A10K3J"));
    EXPECT_EQ(r[QStringLiteral("driver")].toString(), QStringLiteral("ftdi_sio"));
    EXPECT_EQ(r[QStringLiteral("byId")].toString(),
              QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0"));

    cli.start(QStringLiteral(KAVO_CLI), {QStringLiteral("ports")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const QString table = QString::fromUtf8(cli.readAllStandardOutput());
    EXPECT_TRUE(table.contains(QRegularExpression(
        QStringLiteral("COM33 +/dev/ttyUSB0 +/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0 "
                       "+0403:6001 +A10K3J "
                       "+ftdi_sio +-"))))
        << table.toStdString();

    // Keep the adapter's name, then let it go; a device without a by-id link has no name to keep.
    const auto run = [&](const QStringList& args) {
        cli.start(QStringLiteral(KAVO_CLI), args);
        EXPECT_TRUE(cli.waitForFinished(30000));
        return cli.exitCode();
    };
    const QString entry = m_ports.path() + QStringLiteral("/COM5");
    EXPECT_EQ(run({QStringLiteral("ports"), QStringLiteral("--pin"), QStringLiteral("COM5"),
                   QStringLiteral("ttyUSB0")}),
              0);
    EXPECT_EQ(QFile::symLinkTarget(entry),
              QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3J-if00-port0"));
    // (The entry itself is not followed here: the kernel resolves a link outside /dev, past the preload.)
    EXPECT_EQ(run({QStringLiteral("doctor"), QStringLiteral("COM33")}), 0);
    EXPECT_TRUE(cli.readAllStandardOutput().contains("FT232R USB UART (A10K3J)\nNo problem found"));
    EXPECT_EQ(run({QStringLiteral("ports"), QStringLiteral("--unpin"), QStringLiteral("COM5")}), 0);
    EXPECT_FALSE(QFileInfo(entry).isSymLink());
    EXPECT_EQ(run({QStringLiteral("ports"), QStringLiteral("--pin"), QStringLiteral("COM6"),
                   QStringLiteral("/dev/null")}),
              1);
    EXPECT_TRUE(cli.readAllStandardError().contains("no /dev/serial/by-id link"));
    EXPECT_EQ(run({QStringLiteral("ports"), QStringLiteral("--unpin"), QStringLiteral("COM6")}), 1);
}

} // namespace
