#include "platform/libusbapi.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace qarn3 {

const char* const kUsbAccessAdvice =
    "The analyzer is attached, but this user may not use its USB device.\n\n"
    "Install the udev rule that comes with the program: copy 70-qarn3.rules (the package "
    "puts it in /usr/lib/udev/rules.d; in the sources it is in the app folder) to "
    "/etc/udev/rules.d, run \"sudo udevadm control --reload-rules\", then unplug the analyzer "
    "and plug it in again.";

namespace {

constexpr int kInterface = 0;
constexpr int kPacketBytes = 64;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<std::uint16_t> hex4(const std::string& s, std::size_t at) {
    if (s.size() < at + 4) return std::nullopt;
    std::uint16_t v = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return std::nullopt;
        v = static_cast<std::uint16_t>(v * 16 + d);
    }
    return v;
}

// The matching devices of one enumeration, in instance order.
class DeviceList {
public:
    DeviceList(libusb_context* context, UsbIds ids) {
        if (!context) return;
        const ssize_t n = libusb_get_device_list(context, &m_list);
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device* dev = m_list[i];
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(dev, &d) != 0) continue;
            if (d.idVendor != ids.vendor || d.idProduct != ids.product) continue;
            m_matches.push_back({dev, placeKey(dev)});
        }
        // Ports do not change while a device stays plugged; enumeration order may.
        std::sort(m_matches.begin(), m_matches.end(),
                  [](const Match& a, const Match& b) { return a.key < b.key; });
    }
    ~DeviceList() {
        if (m_list) libusb_free_device_list(m_list, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    struct Match {
        libusb_device* device;
        std::string key;
    };
    const std::vector<Match>& matches() const { return m_matches; }
    bool contains(libusb_device* dev) const {
        return std::any_of(m_matches.begin(), m_matches.end(),
                           [dev](const Match& m) { return m.device == dev; });
    }

private:
    // Bus and port path, zero-padded so that the text order is the numeric order.
    static std::string placeKey(libusb_device* dev) {
        char part[8];
        std::snprintf(part, sizeof part, "%03u", libusb_get_bus_number(dev));
        std::string key = part;
        std::uint8_t ports[8];
        const int n = libusb_get_port_numbers(dev, ports, sizeof ports);
        if (n <= 0) {
            std::snprintf(part, sizeof part, "@%03u", libusb_get_device_address(dev));
            return key + part;
        }
        for (int i = 0; i < n; ++i) {
            std::snprintf(part, sizeof part, ".%03u", ports[i]);
            key += part;
        }
        return key;
    }

    libusb_device** m_list = nullptr;
    std::vector<Match> m_matches;
};

} // namespace

std::optional<UsbIds> parseUsbDeviceString(const std::string& device) {
    const std::string s = lower(device);
    if (s.size() != 17 || s.compare(0, 4, "vid_") != 0 || s.compare(8, 5, "&pid_") != 0)
        return std::nullopt;
    const auto vendor = hex4(s, 4);
    const auto product = hex4(s, 13);
    if (!vendor || !product) return std::nullopt;
    return UsbIds{*vendor, *product};
}

std::optional<int> parseUsbEndpointString(const std::string& endpoint) {
    const std::string s = lower(endpoint);
    const std::string prefix = "\\mchp_ep";
    if (s.size() <= prefix.size() || s.size() > prefix.size() + 2 ||
        s.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    int n = 0;
    for (std::size_t i = prefix.size(); i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
        n = n * 10 + (s[i] - '0');
    }
    if (n < 1 || n > 15) return std::nullopt;
    return n;
}

struct LibusbMpusb::Device {
    libusb_device_handle* handle = nullptr;
    bool detachedDriver = false;
    std::atomic<bool> gone{false};

    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        if (!handle) return;
        if (!gone) {
            libusb_release_interface(handle, kInterface);
            if (detachedDriver) libusb_attach_kernel_driver(handle, kInterface);
        }
        libusb_close(handle);
    }
};

struct LibusbMpusb::Pipe {
    std::shared_ptr<Device> device;
    std::uint8_t address = 0;
    bool interrupt = false;
    bool in = false;

    // One transfer; the libusb result. The time-out is never 0, which libusb reads as
    // "wait for ever".
    int transfer(std::uint8_t* data, int length, int* transferred, std::uint32_t timeoutMs) const {
        const unsigned t = timeoutMs == 0 ? 1u : timeoutMs;
        const int rc =
            interrupt
                ? libusb_interrupt_transfer(device->handle, address, data, length, transferred, t)
                : libusb_bulk_transfer(device->handle, address, data, length, transferred, t);
        if (rc == LIBUSB_ERROR_NO_DEVICE) device->gone = true;
        return rc;
    }
};

LibusbMpusb::LibusbMpusb() = default;

// The library is started at the first call that needs it, not when the program starts.
libusb_context* LibusbMpusb::context() {
    std::call_once(m_started, [this] {
        if (libusb_init(&m_context) != 0) m_context = nullptr;
    });
    return m_context;
}

LibusbMpusb::~LibusbMpusb() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pipes.clear();
        m_devices.clear();
    }
    if (m_context) libusb_exit(m_context);
}

void LibusbMpusb::report(const std::string& problem) {
    m_problem = problem;
}

std::string LibusbMpusb::takeProblem() {
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_problem, {});
}

std::size_t LibusbMpusb::openPipes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pipes.size();
}

std::shared_ptr<LibusbMpusb::Pipe> LibusbMpusb::pipe(MpusbHandle handle) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_pipes.find(handle);
    return it == m_pipes.end() ? nullptr : it->second;
}

std::uint32_t LibusbMpusb::MPUSBGetDeviceCount(const char* device) {
    const auto ids = parseUsbDeviceString(device ? device : "");
    if (!ids) return 0;
    const DeviceList list(context(), *ids);
    // A device that is no longer listed was unplugged: its handles fail from now on, even if
    // it comes back (it then has a new place in the list and must be opened again).
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& [key, weak] : m_devices)
        if (const auto d = weak.lock(); d && !list.contains(libusb_get_device(d->handle)))
            d->gone = true;
    return static_cast<std::uint32_t>(list.matches().size());
}

MpusbHandle LibusbMpusb::MPUSBOpen(std::uint32_t instance, const char* device, const char* endpoint,
                                   std::uint32_t direction, std::uint32_t /*reserved*/) {
    const auto ids = parseUsbDeviceString(device ? device : "");
    const auto number = parseUsbEndpointString(endpoint ? endpoint : "");
    if (!ids || !number || direction > 1) return kInvalidPipe;
    const DeviceList list(context(), *ids);
    if (instance >= list.matches().size()) return kInvalidPipe;
    const auto& match = list.matches()[instance];

    std::lock_guard<std::mutex> guard(m_lock);
    std::shared_ptr<Device> dev = m_devices[match.key].lock();
    if (dev && (dev->gone || libusb_get_device(dev->handle) != match.device)) dev.reset();
    if (!dev) {
        dev = std::make_shared<Device>();
        const int rc = libusb_open(match.device, &dev->handle);
        if (rc != 0) {
            dev->handle = nullptr;
            if (rc == LIBUSB_ERROR_ACCESS) report(kUsbAccessAdvice);
            return kInvalidPipe;
        }
        if (libusb_kernel_driver_active(dev->handle, kInterface) == 1 &&
            libusb_detach_kernel_driver(dev->handle, kInterface) == 0)
            dev->detachedDriver = true;
        const int claim = libusb_claim_interface(dev->handle, kInterface);
        if (claim != 0) {
            if (claim == LIBUSB_ERROR_ACCESS) report(kUsbAccessAdvice);
            return kInvalidPipe;
        }
        m_devices[match.key] = dev;
    }

    const auto address = static_cast<std::uint8_t>(*number | (direction == 1 ? 0x80 : 0x00));
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(match.device, &config) != 0) return kInvalidPipe;
    std::optional<std::uint8_t> attributes;
    if (config->bNumInterfaces > kInterface) {
        const libusb_interface& itf = config->interface[kInterface];
        for (int a = 0; a < itf.num_altsetting && !attributes; ++a)
            for (int e = 0; e < itf.altsetting[a].bNumEndpoints; ++e)
                if (itf.altsetting[a].endpoint[e].bEndpointAddress == address)
                    attributes = itf.altsetting[a].endpoint[e].bmAttributes;
    }
    libusb_free_config_descriptor(config);
    if (!attributes) return kInvalidPipe;
    const int type = *attributes & 0x03;
    if (type != LIBUSB_TRANSFER_TYPE_BULK && type != LIBUSB_TRANSFER_TYPE_INTERRUPT)
        return kInvalidPipe;

    auto p = std::make_shared<Pipe>();
    p->device = dev;
    p->address = address;
    p->interrupt = type == LIBUSB_TRANSFER_TYPE_INTERRUPT;
    p->in = direction == 1;
    const MpusbHandle handle = m_nextHandle++;
    m_pipes[handle] = std::move(p);
    return handle;
}

std::uint32_t LibusbMpusb::MPUSBWrite(MpusbHandle handle, const std::uint8_t* data,
                                      std::uint32_t length, std::uint32_t* sent,
                                      std::uint32_t timeoutMs) {
    if (sent) *sent = 0;
    const auto p = pipe(handle);
    if (!p || p->in || p->device->gone || !data) return 0;
    std::vector<std::uint8_t> packet(data, data + length);
    int transferred = 0;
    const int rc = p->transfer(packet.data(), static_cast<int>(length), &transferred, timeoutMs);
    if (sent) *sent = static_cast<std::uint32_t>(transferred);
    return (rc == 0 || rc == LIBUSB_ERROR_TIMEOUT) &&
                   static_cast<std::uint32_t>(transferred) == length
               ? 1
               : 0;
}

std::uint32_t LibusbMpusb::MPUSBRead(MpusbHandle handle, std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t* received, std::uint32_t timeoutMs) {
    if (received) *received = 0;
    const auto p = pipe(handle);
    if (!p || !p->in || p->device->gone || !data) return 0;
    std::uint8_t packet[kPacketBytes];
    int transferred = 0;
    const int rc = p->transfer(packet, kPacketBytes, &transferred, timeoutMs);
    // A packet that arrived just as the time-out struck still counts.
    if (rc != 0 && !(rc == LIBUSB_ERROR_TIMEOUT && transferred > 0)) return 0;
    const auto n = std::min(static_cast<std::uint32_t>(transferred), length);
    std::memcpy(data, packet, n);
    if (received) *received = n;
    return 1;
}

void LibusbMpusb::MPUSBClose(MpusbHandle handle) {
    std::shared_ptr<Pipe> closing;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_pipes.find(handle);
        if (it == m_pipes.end()) return;
        closing = std::move(it->second);
        m_pipes.erase(it);
    }
    // The device is released here, or after a read still running on another thread.
}

} // namespace qarn3
