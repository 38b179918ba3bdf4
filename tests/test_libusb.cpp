// The libusb layer against an emulated analyzer: a 04d8:fdcf device in a umockdev test bed,
// whose usbdevfs calls are answered here. The test re-starts itself under the umockdev
// preload library; without umockdev it skips.
#include "platform/libusbapi.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace qarn3;

namespace {

bool g_mocked = false;
constexpr const char* kDev = "vid_04d8&pid_fdcf";
constexpr const char* kNode = "/dev/bus/usb/001/002";
constexpr const char* kSysPath = "/sys/devices/usb1/1-1";

// Device and configuration descriptors: one interface with endpoint 1 out (bulk) and endpoint
// 1 in (interrupt), 64-byte packets.
const std::vector<guint8> kDescriptors = {
    0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0xd8,
    0x04, 0xcf, 0xfd, 0x00, 0x01, 0x01, 0x02, 0x03, 0x01, // device
    0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32, // configuration
    0x09, 0x04, 0x00, 0x00, 0x02, 0xff, 0x00, 0x00, 0x00, // interface 0
    0x07, 0x05, 0x01, 0x02, 0x40, 0x00, 0x00,             // endpoint 1 out, bulk
    0x07, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01,             // endpoint 1 in, interrupt
};

// The analyzer as usbdevfs shows it: every packet written to endpoint 1 comes back on
// endpoint 1 in, as a packet of two header bytes and the written bytes after the first two.
class EmulatedAnalyzer {
public:
    EmulatedAnalyzer() {
        m_bed = umockdev_testbed_new();
        plug();
    }
    ~EmulatedAnalyzer() {
        if (m_handler) g_object_unref(m_handler);
        g_object_unref(m_bed);
        for (auto* d : m_keep)
            g_object_unref(d);
    }

    void plug() {
        std::string hex;
        for (const guint8 b : kDescriptors) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        const std::string record = std::string("P: ") + (kSysPath + 4) +
                                   "\nN: bus/usb/001/002\n"
                                   "E: DEVNAME=/dev/bus/usb/001/002\nE: DEVTYPE=usb_device\n"
                                   "E: SUBSYSTEM=usb\nA: busnum=1\nA: devnum=2\nA: dev=189:1\n"
                                   "A: idVendor=04d8\nA: idProduct=fdcf\nA: speed=12\n"
                                   "A: bConfigurationValue=1\nA: serial=KXV0123456\n"
                                   "H: descriptors=" +
                                   hex + "\n";
        GError* error = nullptr;
        // Announced only once complete: a listener must not see it without its descriptors.
        umockdev_testbed_disable(m_bed);
        const bool added = umockdev_testbed_add_from_string(m_bed, record.c_str(), &error);
        umockdev_testbed_enable(m_bed);
        if (!added) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return;
        }
        if (m_handler) {
            umockdev_testbed_detach_ioctl(m_bed, kNode, nullptr);
            g_object_unref(m_handler);
        }
        m_handler = umockdev_ioctl_base_new();
        g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&EmulatedAnalyzer::onIoctl), this);
        umockdev_testbed_attach_ioctl(m_bed, kNode, m_handler, &error);
        if (error) ADD_FAILURE() << error->message;
        umockdev_testbed_uevent(m_bed, kSysPath, "add");
        std::lock_guard<std::mutex> g(m_lock);
        m_unplugged = false;
        m_driverBound = true;
        m_claimed = false;
    }

    // The cable is pulled: reads in flight end as the kernel ends them, every later call
    // fails with ENODEV, and the device leaves sysfs.
    void unplug() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_unplugged = true;
            for (const Urb& r : m_pendingIn) {
                auto* urb = reinterpret_cast<usbdevfs_urb*>(r.urb->data);
                urb->actual_length = 0;
                urb->status = -ESHUTDOWN;
                m_done.push_back(r);
            }
            m_pendingIn.clear();
        }
        umockdev_testbed_uevent(m_bed, kSysPath, "remove");
        umockdev_testbed_remove_device(m_bed, kSysPath);
    }

    // Bytes staged to go out with the next time-out of a read, as a short packet would.
    void stageAtTimeOut(std::vector<std::uint8_t> bytes) {
        std::lock_guard<std::mutex> g(m_lock);
        m_atTimeOut = std::move(bytes);
    }

    int claims() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_claims;
    }
    bool claimed() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_claimed;
    }
    bool driverBound() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_driverBound;
    }
    std::vector<std::string> wrongTypes() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_wrongTypes;
    }

private:
    struct Urb {
        UMockdevIoctlData* urb;
        UMockdevIoctlData* buffer;
        unsigned long address;
    };

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<EmulatedAnalyzer*>(self)->handle(client);
    }

    static void complete(UMockdevIoctlClient* client, long result, int error) {
        umockdev_ioctl_client_complete(client, result, error);
    }

    gboolean handle(UMockdevIoctlClient* client) {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        std::lock_guard<std::mutex> g(m_lock);
        if (m_unplugged && !(request == USBDEVFS_REAPURBNDELAY && !m_done.empty())) {
            complete(client, -1, ENODEV);
            return TRUE;
        }
        GError* error = nullptr;
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(__u32), &error);
            *reinterpret_cast<__u32*>(caps->data) = 0;
            complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER: {
            if (!m_driverBound || m_claimed) {
                complete(client, -1, ENODATA);
                return TRUE;
            }
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), &error);
            auto* gd = reinterpret_cast<usbdevfs_getdriver*>(d->data);
            std::snprintf(gd->driver, sizeof gd->driver, "cdc_acm");
            complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), &error);
            const auto* io = reinterpret_cast<usbdevfs_ioctl*>(d->data);
            if (io->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT))
                m_driverBound = false;
            else if (io->ioctl_code == static_cast<int>(USBDEVFS_CONNECT))
                m_driverBound = true;
            complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
            if (m_driverBound) {
                complete(client, -1, EBUSY);
                return TRUE;
            }
            ++m_claims;
            m_claimed = true;
            complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
            m_claimed = false;
            complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB:
            submit(client, arg);
            return TRUE;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            reap(client, arg);
            return TRUE;
        case USBDEVFS_DISCARDURB:
            discard(client, arg);
            return TRUE;
        default:
            return FALSE;
        }
    }

    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        GError* error = nullptr;
        UMockdevIoctlData* u = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(u->data);
        UMockdevIoctlData* b = umockdev_ioctl_data_resolve(
            u, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), &error);
        g_object_ref(u);
        m_keep.push_back(u);
        const unsigned long address = u->client_addr;
        const bool in = (urb->endpoint & 0x80) != 0;
        const unsigned char wanted = in ? USBDEVFS_URB_TYPE_INTERRUPT : USBDEVFS_URB_TYPE_BULK;
        if (urb->type != wanted) m_wrongTypes.push_back(std::to_string(urb->endpoint));
        if (in) {
            m_pendingIn.push_back({u, b, address});
        } else {
            // Written: echoed back with a two-byte header.
            std::vector<std::uint8_t> reply = {0x01, 0x00};
            for (int i = 2; i < urb->buffer_length; ++i)
                reply.push_back(b->data[i]);
            reply[1] = static_cast<std::uint8_t>(reply.size());
            m_replies.push_back(std::move(reply));
            urb->actual_length = urb->buffer_length;
            urb->status = 0;
            m_done.push_back({u, b, address});
        }
        feed();
        complete(client, 0, 0);
    }

    // Moves waiting replies into waiting reads.
    void feed() {
        while (!m_pendingIn.empty() && !m_replies.empty()) {
            Urb r = m_pendingIn.front();
            m_pendingIn.pop_front();
            auto* urb = reinterpret_cast<usbdevfs_urb*>(r.urb->data);
            const auto& reply = m_replies.front();
            const int n = std::min<int>(urb->buffer_length, static_cast<int>(reply.size()));
            std::memcpy(r.buffer->data, reply.data(), static_cast<std::size_t>(n));
            urb->actual_length = n;
            urb->status = 0;
            m_replies.pop_front();
            m_done.push_back(r);
        }
    }

    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        if (m_done.empty()) {
            complete(client, -1, EAGAIN);
            return;
        }
        Urb r = m_done.front();
        m_done.pop_front();
        GError* error = nullptr;
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
        umockdev_ioctl_data_set_ptr(slot, 0, r.urb);
        complete(client, 0, 0);
    }

    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        const unsigned long address = *reinterpret_cast<unsigned long*>(arg->data);
        for (auto it = m_pendingIn.begin(); it != m_pendingIn.end(); ++it) {
            if (it->address != address) continue;
            auto* urb = reinterpret_cast<usbdevfs_urb*>(it->urb->data);
            const int n = std::min<int>(urb->buffer_length, static_cast<int>(m_atTimeOut.size()));
            std::memcpy(it->buffer->data, m_atTimeOut.data(), static_cast<std::size_t>(n));
            m_atTimeOut.clear();
            urb->actual_length = n;
            urb->status = -ENOENT;
            m_done.push_back(*it);
            m_pendingIn.erase(it);
            complete(client, 0, 0);
            return;
        }
        complete(client, -1, EINVAL);
    }

    UMockdevTestbed* m_bed = nullptr;
    UMockdevIoctlBase* m_handler = nullptr;
    mutable std::mutex m_lock;
    bool m_unplugged = false;
    bool m_driverBound = true;
    bool m_claimed = false;
    int m_claims = 0;
    std::deque<Urb> m_pendingIn;
    std::deque<Urb> m_done;
    std::deque<std::vector<std::uint8_t>> m_replies;
    std::vector<std::uint8_t> m_atTimeOut;
    std::vector<std::string> m_wrongTypes;
    std::vector<UMockdevIoctlData*> m_keep;
};

class LibusbLayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_mocked) GTEST_SKIP() << "umockdev is not installed (umockdev-wrapper not found)";
        analyzer = std::make_unique<EmulatedAnalyzer>();
        api = std::make_unique<LibusbMpusb>();
    }
    void TearDown() override {
        api.reset();
        analyzer.reset();
    }
    std::uint32_t write(MpusbHandle h, std::vector<std::uint8_t> packet) {
        std::uint32_t sent = 0;
        return api->MPUSBWrite(h, packet.data(), static_cast<std::uint32_t>(packet.size()), &sent,
                               100);
    }

    std::unique_ptr<EmulatedAnalyzer> analyzer;
    std::unique_ptr<LibusbMpusb> api;
};

TEST_F(LibusbLayer, FindsAndOpensTheAnalyzerWithOneClaimOfItsInterface) {
    EXPECT_EQ(api->MPUSBGetDeviceCount("vid_04d8&pid_fdcf"), 1u);
    EXPECT_EQ(api->MPUSBGetDeviceCount("VID_04D8&PID_FDCF"), 1u);
    EXPECT_EQ(api->MPUSBGetDeviceCount("vid_04d8&pid_000c"), 0u);
    EXPECT_EQ(api->MPUSBOpen(1, kDev, "\\MCHP_EP1", 0, 0), kInvalidPipe);
    ASSERT_TRUE(analyzer->driverBound());
    const MpusbHandle out = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 0, 0);
    const MpusbHandle in = api->MPUSBOpen(0, "Vid_04D8&Pid_FDCF", "\\mchp_ep1", 1, 0);
    ASSERT_NE(out, kInvalidPipe);
    ASSERT_NE(in, kInvalidPipe);
    EXPECT_NE(out, in);
    EXPECT_EQ(analyzer->claims(), 1);
    EXPECT_FALSE(analyzer->driverBound());
    api->MPUSBClose(out);
    EXPECT_TRUE(analyzer->claimed()); // the read pipe still holds it
    api->MPUSBClose(in);
    EXPECT_FALSE(analyzer->claimed());
    EXPECT_TRUE(analyzer->driverBound());
}

TEST_F(LibusbLayer, ExchangesPacketsWithTheEndpointsDeclaredTypes) {
    const MpusbHandle out = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 0, 0);
    const MpusbHandle in = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 1, 0);
    ASSERT_NE(in, kInvalidPipe);
    // A reader thread takes every echo while this thread writes.
    std::atomic<bool> stop{false};
    std::vector<std::uint8_t> got;
    std::atomic<std::size_t> count{0};
    std::thread reader([&] {
        std::uint8_t buf[64];
        while (!stop) {
            std::uint32_t n = 0;
            if (api->MPUSBRead(in, buf, 64, &n, 100) != 0)
                for (std::uint32_t i = 2; i < n; ++i) {
                    got.push_back(buf[i]);
                    ++count;
                }
        }
    });
    std::vector<std::uint8_t> expected;
    for (std::uint8_t i = 0; i < 40; ++i) {
        EXPECT_EQ(write(out, {0xF0, 4, i, static_cast<std::uint8_t>(i + 100)}), 1u);
        expected.push_back(i);
        expected.push_back(static_cast<std::uint8_t>(i + 100));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count < expected.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    reader.join();
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(analyzer->wrongTypes().empty());
    EXPECT_EQ(write(in, {0x80, 3, 1}), 0u); // not a write pipe
}

TEST_F(LibusbLayer, ReadTimesOutAndAPartialPacketAtTheTimeOutCounts) {
    const MpusbHandle in = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 1, 0);
    ASSERT_NE(in, kInvalidPipe);
    std::uint8_t buf[64];
    std::uint32_t n = 99;
    EXPECT_EQ(api->MPUSBRead(in, buf, 64, &n, 30), 0u);
    EXPECT_EQ(n, 0u);
    // 0 is the shortest wait, not "for ever".
    EXPECT_EQ(api->MPUSBRead(in, buf, 64, &n, 0), 0u);
    analyzer->stageAtTimeOut({0x01, 0x05, 'x', 'y', 'z'});
    EXPECT_EQ(api->MPUSBRead(in, buf, 64, &n, 30), 1u);
    ASSERT_EQ(n, 5u);
    EXPECT_EQ(buf[4], 'z');
}

TEST_F(LibusbLayer, UnpluggedDeviceFailsEveryCallAndStaysInvalidWhenBack) {
    const MpusbHandle out = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 0, 0);
    const MpusbHandle in = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 1, 0);
    ASSERT_NE(in, kInvalidPipe);
    std::atomic<int> readResult{-1};
    std::thread reader([&] {
        std::uint8_t buf[64];
        std::uint32_t n = 0;
        readResult = static_cast<int>(api->MPUSBRead(in, buf, 64, &n, 2000));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    analyzer->unplug();
    reader.join();
    EXPECT_EQ(readResult, 0);
    EXPECT_EQ(api->MPUSBGetDeviceCount(kDev), 0u);
    EXPECT_EQ(write(out, {0x80, 3, 1}), 0u);
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    EXPECT_EQ(api->MPUSBRead(in, buf, 64, &n, 100), 0u);

    analyzer->plug();
    EXPECT_EQ(api->MPUSBGetDeviceCount(kDev), 1u);
    EXPECT_EQ(write(out, {0x80, 3, 1}), 0u); // the old handles stay invalid
    api->MPUSBClose(out);
    api->MPUSBClose(in);
    const MpusbHandle again = api->MPUSBOpen(0, kDev, "\\MCHP_EP1", 0, 0);
    ASSERT_NE(again, kInvalidPipe);
    EXPECT_EQ(write(again, {0x80, 3, 1}), 1u);
    api->MPUSBClose(again);
}

} // namespace

int main(int argc, char** argv) {
    // The preload library is in place once the wrapper has started this program.
    const char* preload = std::getenv("LD_PRELOAD");
    g_mocked = preload && std::strstr(preload, "libumockdev-preload") != nullptr;
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!g_mocked && !listing && std::system("command -v umockdev-wrapper >/dev/null 2>&1") == 0) {
        // Start again with the preload library, which lets the test bed stand in for /sys and
        // /dev.
        std::vector<char*> args;
        args.push_back(const_cast<char*>("umockdev-wrapper"));
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("umockdev-wrapper", args.data());
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
