// The device on a real USB bus: a user-space gadget (configfs and FunctionFS)
// on one port of a virtual host controller, with the simulated device behind
// it, so that the Linux program meets a real kernel's usb-storage, sd, sg,
// usbfs and hot-plug events while the replies stay the simulation's own.
//
// In storage mode the gadget is a small removable disk that speaks Bulk-Only
// Transport and hands the vendor commands 87 <sub-command> to the simulated
// device's storage side. After the device carried out an erase it leaves
// the bus, and comes back on the same port in vendor mode (one bulk OUT
// endpoint for commands, one bulk IN endpoint for replies), where every
// transfer goes to the simulated device's download side. With the fault
// never-returns it leaves the bus after the erase for good. Once it has
// answered the end command of a complete download it restarts: off the bus,
// and back on the same port in storage mode at the flashed version; with the
// fault firmware-does-not-start back in vendor mode instead, with
// wrong-version at the flashed version + 1. The serial is the same in both
// modes.
//
// usage: fwup-usb-gadget --udc=dummy_udc.N [--serial=S] [--kind=K] [--start=vendor]
//            [--log=FILE] [--ready=FILE] [--name=NAME] [--flashed-version=HEX]
// The device answers as the FWUP_DEMO_* variables say (version, user id,
// fault, delay, report), as for --simulate. The flashed version is 0240 by
// default, the built-in image's. Kinds: device (the default);
// stick-refuses, an ordinary USB stick that refuses command 87 with CHECK
// CONDITION; stick-silent, one that never answers it. FILE gets a line for
// every vendor command that reaches the gadget and every re-plug; the ready
// file is written once the gadget is bound. NAME (fwupN by default) names its
// configfs gadgets: a new one for each run on the same boot. Runs until
// killed; must be root.

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/device_model.h"
#include "platform/simulation/scenario.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr char kConfigfs[] = "/sys/kernel/config/usb_gadget/";
constexpr std::uint32_t kDiskBlocks = 2048;  // 1 MiB of 512-byte blocks
constexpr std::uint32_t kBlockSize = 512;
// Where a download is cut by the unplug: the transfer in the middle of it,
// as the simulation counts.
constexpr std::uint32_t kUnpluggedAtTransfer = 30;
constexpr auto kUnpluggedFor = 1500ms;
constexpr auto kReplugAfter = 200ms;
// A restart after a download keeps the port empty long enough for a host
// that looks every few hundred milliseconds to see it so.
constexpr auto kRestartOffFor = 500ms;

enum class Kind { Device, StickRefuses, StickSilent };

// How the device comes back after a complete download.
enum class AfterDownload { Starts, DoesNotStart, WrongVersion };

struct Options {
    std::string udc;
    std::string serial;
    Kind kind = Kind::Device;
    bool startInVendorMode = false;
    std::string log;
    std::string ready;
    std::string name;  // of its configfs gadgets; one not used before on this boot
    std::uint16_t flashedVersion = fwup::kUpdatedFirmwareVersion;
};

std::mutex logLock;
std::string logPath;
const auto logStart = std::chrono::steady_clock::now();

// A line for the log, after the milliseconds since the gadget started.
void Log(const std::string& line) {
    std::lock_guard<std::mutex> hold(logLock);
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - logStart).count();
    std::fprintf(stderr, "gadget: %lld ms: %s\n", ms, line.c_str());
    if (logPath.empty()) return;
    if (std::FILE* file = std::fopen(logPath.c_str(), "a")) {
        std::fprintf(file, "%lld ms: %s\n", ms, line.c_str());
        std::fclose(file);
    }
}

bool WriteFile(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && written;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "gadget: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

// --- Descriptors: one interface, a bulk IN endpoint then a bulk OUT one,
// for full and high speed.
struct __attribute__((packed)) InterfaceDescriptors {
    usb_interface_descriptor interface;
    usb_endpoint_descriptor_no_audio in;
    usb_endpoint_descriptor_no_audio out;
};

struct __attribute__((packed)) FfsDescriptors {
    usb_functionfs_descs_head_v2 header;
    __le32 fsCount;
    __le32 hsCount;
    InterfaceDescriptors fs;
    InterfaceDescriptors hs;
};

InterfaceDescriptors Describe(std::uint8_t cls, std::uint8_t subclass, std::uint8_t protocol,
                              std::uint16_t packet) {
    InterfaceDescriptors d{};
    d.interface.bLength = sizeof d.interface;
    d.interface.bDescriptorType = USB_DT_INTERFACE;
    d.interface.bNumEndpoints = 2;
    d.interface.bInterfaceClass = cls;
    d.interface.bInterfaceSubClass = subclass;
    d.interface.bInterfaceProtocol = protocol;
    d.interface.iInterface = 1;
    for (auto* endpoint : {&d.in, &d.out}) {
        endpoint->bLength = sizeof *endpoint;
        endpoint->bDescriptorType = USB_DT_ENDPOINT;
        endpoint->bmAttributes = USB_ENDPOINT_XFER_BULK;
        endpoint->wMaxPacketSize = htole16(packet);
    }
    d.in.bEndpointAddress = 1 | USB_DIR_IN;
    d.out.bEndpointAddress = 2 | USB_DIR_OUT;
    return d;
}

// One mode of the device: a gadget of its own in configfs with one
// FunctionFS function, mounted and described, ready to be bound.
struct Gadget {
    std::string name;
    std::string dir;
    int ep0 = -1, in = -1, out = -1;
    std::atomic<bool> enabled{false};
    std::atomic<int> enables{0};
    std::atomic<bool> resetAsked{false};
    bool massStorage = false;
};

void SetUp(Gadget& g, std::uint16_t vendor, std::uint16_t product, const std::string& serial,
           const InterfaceDescriptors& fs, const InterfaceDescriptors& hs) {
    const std::string base = kConfigfs + g.name;
    auto make = [](const std::string& path) {
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Fail("mkdir " + path);
    };
    auto put = [](const std::string& path, const std::string& text) {
        if (!WriteFile(path, text)) Fail("writing " + path);
    };
    char number[16];
    make(base);
    std::snprintf(number, sizeof number, "0x%04x", vendor);
    put(base + "/idVendor", number);
    std::snprintf(number, sizeof number, "0x%04x", product);
    put(base + "/idProduct", number);
    put(base + "/bcdUSB", "0x0200");
    make(base + "/strings/0x409");
    put(base + "/strings/0x409/serialnumber", serial);
    put(base + "/strings/0x409/manufacturer", "FWUP test bench");
    put(base + "/strings/0x409/product", g.massStorage ? "Simulated disk" : "Simulated device");
    make(base + "/configs/c.1");
    make(base + "/configs/c.1/strings/0x409");
    put(base + "/configs/c.1/strings/0x409/configuration", "one");
    make(base + "/functions/ffs." + g.name);
    const std::string link = base + "/configs/c.1/ffs." + g.name;
    if (symlink((base + "/functions/ffs." + g.name).c_str(), link.c_str()) != 0 && errno != EEXIST)
        Fail("linking the function");
    g.dir = "/dev/ffs-" + g.name;
    make(g.dir);
    if (mount(g.name.c_str(), g.dir.c_str(), "functionfs", 0, nullptr) != 0 && errno != EBUSY)
        Fail("mounting functionfs");

    g.ep0 = open((g.dir + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (g.ep0 < 0) Fail("opening ep0");
    FfsDescriptors descriptors{};
    descriptors.header.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    descriptors.header.length = htole32(sizeof descriptors);
    descriptors.header.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    descriptors.fsCount = htole32(3);
    descriptors.hsCount = htole32(3);
    descriptors.fs = fs;
    descriptors.hs = hs;
    if (write(g.ep0, &descriptors, sizeof descriptors) != sizeof descriptors)
        Fail("writing the descriptors");
    // The header, one language, then its one string with its terminating zero.
    const std::string text = g.massStorage ? "Storage" : "Vendor";
    usb_functionfs_strings_head head{};
    const std::uint16_t language = htole16(0x0409);
    Bytes strings(sizeof head + sizeof language + text.size() + 1, 0);
    head.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
    head.length = htole32(static_cast<std::uint32_t>(strings.size()));
    head.str_count = htole32(1);
    head.lang_count = htole32(1);
    std::memcpy(strings.data(), &head, sizeof head);
    std::memcpy(strings.data() + sizeof head, &language, sizeof language);
    std::memcpy(strings.data() + sizeof head + sizeof language, text.data(), text.size());
    if (write(g.ep0, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size()))
        Fail("writing the strings");
    // Non-blocking: I/O while the function is off the bus fails at once. A
    // blocking one waits for the next bind and then sends an answer of the
    // earlier session (a disk read cut by the unplug of the erase) into the
    // new one, where the host takes it for the answer to its first command.
    g.in = open((g.dir + "/ep1").c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    g.out = open((g.dir + "/ep2").c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (g.in < 0 || g.out < 0) Fail("opening the endpoints");
}

// Halts an endpoint: FunctionFS does so for I/O against its direction.
void Halt(int fd, bool isIn) {
    std::uint8_t none = 0;
    ssize_t ignored = isIn ? read(fd, &none, 0) : write(fd, &none, 0);
    (void)ignored;
}

// The control endpoint's events. The mass-storage class requests are
// answered (one logical unit; the reset); any other request is refused.
void ServeEp0(Gadget& g) {
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t got = read(g.ep0, events, sizeof events);
        if (got < 0) {
            if (errno == EINTR) continue;
            std::this_thread::sleep_for(10ms);
            continue;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof events[0]; ++i) {
            const usb_functionfs_event& event = events[i];
            switch (event.type) {
            case FUNCTIONFS_ENABLE: g.enabled = true; ++g.enables; break;
            case FUNCTIONFS_DISABLE:
            case FUNCTIONFS_UNBIND:
            case FUNCTIONFS_SUSPEND: g.enabled = false; break;
            case FUNCTIONFS_SETUP: {
                const usb_ctrlrequest& setup = event.u.setup;
                const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
                const bool classRequest = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
                std::uint8_t none = 0;
                if (g.massStorage && classRequest && in && setup.bRequest == 0xFE) {
                    const std::uint8_t maxLun = 0;
                    if (write(g.ep0, &maxLun, 1) < 0) Log("ep0: max lun not sent");
                } else if (g.massStorage && classRequest && !in && setup.bRequest == 0xFF) {
                    g.resetAsked = true;
                    if (read(g.ep0, &none, 0) < 0) Log("ep0: reset not acknowledged");
                } else {
                    Halt(g.ep0, in);  // any other request is refused
                }
                break;
            }
            default: break;
            }
        }
    }
}

// --- The whole device, both modes on one port.
class Bench {
public:
    Bench(const Options& options, const fwup::Scenario& scenario, bool unplugMidDownload,
          AfterDownload afterDownload)
        : options_(options), simulation_(scenario), unplugMidDownload_(unplugMidDownload),
          comesBackAfterErase_(fwup::FaultOf(scenario, 0) != fwup::ScenarioFault::NeverReturns),
          afterDownload_(afterDownload),
          reportPath_(scenario.reportPath), disk_(std::size_t{kDiskBlocks} * kBlockSize, 0) {
        for (const fwup::VolumeCandidate& volume : simulation_.FindCandidateVolumes())
            if (!volume.usbPort.empty()) volume_ = simulation_.OpenVolume(volume, nullptr);
        storage_.name = options.name + "s";
        vendor_.name = options.name + "v";
        storage_.massStorage = true;
        // The mass-storage class, SCSI transparent command set, Bulk-Only Transport.
        SetUp(storage_, 0x1d6b, 0x0104, options.serial, Describe(0x08, 0x06, 0x50, 64),
              Describe(0x08, 0x06, 0x50, 512));
        if (options.kind == Kind::Device)
            SetUp(vendor_, fwup::kVendorId, fwup::kProductId, options.serial,
                  Describe(fwup::kVendorInterfaceClass, 0, 0, 64),
                  Describe(fwup::kVendorInterfaceClass, 0, 0, 512));
    }

    void Run() {
        std::thread(ServeEp0, std::ref(storage_)).detach();
        if (options_.kind == Kind::Device) {
            std::thread(ServeEp0, std::ref(vendor_)).detach();
            std::thread([this] { ServeVendor(); }).detach();
        }
        std::thread([this] { ServeStorage(); }).detach();
        Bind(options_.startInVendorMode && options_.kind == Kind::Device ? vendor_ : storage_);
        if (!options_.ready.empty()) {
            if (std::FILE* file = std::fopen(options_.ready.c_str(), "w")) std::fclose(file);
        }
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return replugAsked_; });
            replugAsked_ = false;
            const ReplugPlan plan = replugPlan_;
            hold.unlock();
            Replug(plan);
            hold.lock();
        }
    }

private:
    void Bind(Gadget& g) {
        if (!WriteFile(kConfigfs + g.name + "/UDC", options_.udc)) Fail("binding " + g.name);
        bound_ = &g;
    }
    void Unbind() {
        if (bound_ != nullptr && !WriteFile(kConfigfs + bound_->name + "/UDC", "\n"))
            Fail("unbinding " + bound_->name);
        bound_ = nullptr;
    }
    // How the device leaves the bus and comes back.
    struct ReplugPlan {
        Gadget* to = nullptr;                   // none: it stays off the bus
        std::chrono::milliseconds onFor{0};     // still on the bus, its last reply on the way
        std::chrono::milliseconds offFor{0};
        std::string note;                       // said with the plug-in
    };
    void Replug(const ReplugPlan& plan) {
        std::this_thread::sleep_for(plan.onFor);
        Unbind();
        if (plan.to == nullptr) {
            Log("unplugged for good");
            return;
        }
        Log("unplugged");
        std::this_thread::sleep_for(plan.offFor);
        Bind(*plan.to);
        Log((plan.to == &vendor_ ? "plugged in: vendor mode" : "plugged in: storage mode") +
            plan.note);
    }
    void AskReplug(const ReplugPlan& plan) {
        std::lock_guard<std::mutex> hold(lock_);
        replugAsked_ = true;
        replugPlan_ = plan;
        wake_.notify_all();
    }
    // The device restarts after answering the end command of a complete
    // download; the host's close of its link is not seen on the bus. Called
    // from the thread that drives the device, before the restart is seen.
    void RestartAfterDownload() {
        if (afterDownload_ == AfterDownload::DoesNotStart) {
            AskReplug({&vendor_, kReplugAfter, kRestartOffFor, ", the new firmware did not start"});
            return;
        }
        std::uint16_t version = options_.flashedVersion;
        if (afterDownload_ == AfterDownload::WrongVersion) ++version;
        fwup::SimulatedDevice& device = simulation_.Device();
        device.firmwareVersion = version;
        device.mode = fwup::DeviceMode::StorageMode;
        char note[48];
        std::snprintf(note, sizeof note, ", version %x.%02x after the download", version >> 8,
                      version & 0xFF);
        AskReplug({&storage_, kReplugAfter, kRestartOffFor, note});
    }

    // --- Storage mode: Bulk-Only Transport.
    struct Answer {
        std::uint8_t status = 0;  // CSW: 0 passed, 1 failed
        Bytes data;               // for data-in: what the device sends
        std::uint8_t senseKey = 0, asc = 0, ascq = 0;
    };

    Answer Refuse(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0) {
        Answer answer;
        answer.status = 1;
        answer.senseKey = key;
        answer.asc = asc;
        answer.ascq = ascq;
        return answer;
    }

    static std::uint32_t Be32(const std::uint8_t* p) {
        return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
    }
    static void PutBe32(std::uint8_t* p, std::uint32_t v) {
        p[0] = static_cast<std::uint8_t>(v >> 24);
        p[1] = static_cast<std::uint8_t>(v >> 16);
        p[2] = static_cast<std::uint8_t>(v >> 8);
        p[3] = static_cast<std::uint8_t>(v);
    }

    // nullopt-like: silent is set when the device leaves the command unanswered.
    Answer Command(const std::uint8_t* cdb, std::uint32_t length, const Bytes& written, bool& silent) {
        switch (cdb[0]) {
        case 0x00:  // TEST UNIT READY
        case 0x1B:  // START STOP UNIT
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
        case 0x35:  // SYNCHRONIZE CACHE(10)
            return {};
        case 0x03: {  // REQUEST SENSE: fixed format, then the sense is spent
            Answer answer;
            answer.data.assign(18, 0);
            answer.data[0] = 0x70;
            answer.data[2] = sense_[0];
            answer.data[7] = 10;
            answer.data[12] = sense_[1];
            answer.data[13] = sense_[2];
            sense_[0] = sense_[1] = sense_[2] = 0;
            return answer;
        }
        case 0x12: {  // INQUIRY
            if (cdb[1] & 0x01) return Refuse(0x05, 0x24);  // no vital product data pages
            Answer answer;
            answer.data.assign(36, ' ');
            answer.data[0] = 0x00;   // direct-access block device
            answer.data[1] = 0x80;   // removable medium
            answer.data[2] = 0x04;   // SPC-2
            answer.data[3] = 0x02;
            answer.data[4] = 31;
            answer.data[5] = answer.data[6] = answer.data[7] = 0;
            const bool stick = options_.kind != Kind::Device;
            const std::string vendor = stick ? "Generic " : "FWUP    ";
            const std::string product = stick ? "USB Flash Disk  " : "Simulated disk  ";
            std::memcpy(&answer.data[8], vendor.data(), 8);
            std::memcpy(&answer.data[16], product.data(), 16);
            std::memcpy(&answer.data[32], "1.00", 4);
            return answer;
        }
        case 0x25: {  // READ CAPACITY(10)
            Answer answer;
            answer.data.assign(8, 0);
            PutBe32(&answer.data[0], kDiskBlocks - 1);
            PutBe32(&answer.data[4], kBlockSize);
            return answer;
        }
        case 0x1A:    // MODE SENSE(6): a header, no pages, not write-protected
        case 0x5A: {  // MODE SENSE(10)
            Answer answer;
            if (cdb[0] == 0x1A) answer.data = {3, 0, 0, 0};
            else answer.data = {0, 6, 0, 0, 0, 0, 0, 0};
            return answer;
        }
        case 0x23: return Refuse(0x05, 0x20);  // READ FORMAT CAPACITIES: not known
        case 0x28:    // READ(10)
        case 0x2A: {  // WRITE(10)
            const std::uint32_t lba = Be32(cdb + 2);
            const std::uint32_t blocks = cdb[7] << 8 | cdb[8];
            if (std::uint64_t{lba} + blocks > kDiskBlocks) return Refuse(0x05, 0x21);
            const std::size_t at = std::size_t{lba} * kBlockSize;
            const std::size_t bytes = std::size_t{blocks} * kBlockSize;
            Answer answer;
            if (cdb[0] == 0x28) {
                answer.data.assign(disk_.begin() + at, disk_.begin() + at + bytes);
            } else {
                std::copy_n(written.begin(), std::min(bytes, written.size()), disk_.begin() + at);
            }
            return answer;
        }
        case fwup::kVendorOperationCode: return VendorCommand(cdb, length, silent);
        default: return Refuse(0x05, 0x20);  // ILLEGAL REQUEST, invalid operation code
        }
    }

    Answer VendorCommand(const std::uint8_t* cdb, std::uint32_t length, bool& silent) {
        char line[64];
        std::snprintf(line, sizeof line, "vendor command 87 %02x", cdb[1]);
        Log(line);
        if (options_.kind == Kind::StickRefuses) return Refuse(0x05, 0x20);
        if (options_.kind == Kind::StickSilent) {
            silent = true;
            return {};
        }
        Bytes reply(length, 0);
        fwup::ScsiCommand command;
        command.cdb = cdb;
        command.cdbLength = fwup::kVendorCdbLength;
        command.direction = fwup::DataDirection::In;
        command.data = reply.data();
        command.dataLength = length;
        command.timeLimitSeconds = fwup::kClearTimeLimitSeconds;
        const fwup::ScsiResult result = simulation_.Execute(volume_, command);
        // Not carried out: refused in a way the host does not retry.
        if (!result.carriedOut) return Refuse(0x05, 0x24);  // ILLEGAL REQUEST, invalid field in CDB
        if (result.scsiStatus != 0) return Refuse(0x05, 0x20);
        Answer answer;
        answer.data.assign(reply.begin(), reply.begin() + result.bytesMoved);
        if (simulation_.Device().mode == fwup::DeviceMode::ErasedAwaitingReplug) {
            Log("erased");
            eraseDone_ = true;
        }
        return answer;
    }

    void ServeStorage() {
        Gadget& g = storage_;
        for (;;) {
            std::uint8_t cbw[31];
            const ssize_t got = read(g.out, cbw, sizeof cbw);
            if (got < 0) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            if (got != 31 || std::memcmp(cbw, "USBC", 4) != 0) {
                Log("not a command block");
                continue;
            }
            const std::uint32_t tag = cbw[4] | cbw[5] << 8 | cbw[6] << 16 | std::uint32_t{cbw[7]} << 24;
            const std::uint32_t length =
                cbw[8] | cbw[9] << 8 | cbw[10] << 16 | std::uint32_t{cbw[11]} << 24;
            const bool dataIn = (cbw[12] & 0x80) != 0;
            const std::uint8_t* cdb = cbw + 15;
            Bytes written;
            if (!dataIn && length > 0) {
                written.resize(length);
                std::size_t at = 0;
                while (at < length) {
                    const ssize_t part = read(g.out, written.data() + at, length - at);
                    if (part <= 0) break;
                    at += static_cast<std::size_t>(part);
                }
            }
            bool silent = false;
            Answer answer = Command(cdb, length, written, silent);
            if (silent) continue;  // the host gives up and resets the device
            if (answer.status != 0) {
                sense_[0] = answer.senseKey;
                sense_[1] = answer.asc;
                sense_[2] = answer.ascq;
            }
            std::uint32_t residue = length;
            if (dataIn && length > 0) {
                // The data the command has, then padding to the length asked;
                // the residue says how much of it is padding.
                const std::uint32_t sent = std::min<std::uint32_t>(answer.data.size(), length);
                residue = length - sent;
                answer.data.resize(length, 0);
                if (write(g.in, answer.data.data(), length) < 0) continue;
            } else if (!dataIn && length > 0) {
                residue = 0;
            }
            std::uint8_t csw[13] = {'U', 'S', 'B', 'S'};
            std::memcpy(csw + 4, cbw + 4, 4);
            (void)tag;
            csw[8] = static_cast<std::uint8_t>(residue);
            csw[9] = static_cast<std::uint8_t>(residue >> 8);
            csw[10] = static_cast<std::uint8_t>(residue >> 16);
            csw[11] = static_cast<std::uint8_t>(residue >> 24);
            csw[12] = answer.status;
            if (write(g.in, csw, sizeof csw) < 0) continue;
            if (eraseDone_) {
                eraseDone_ = false;
                // A device that never returns after its erase stays off the bus.
                AskReplug({comesBackAfterErase_ ? &vendor_ : nullptr, kReplugAfter, 0ms, ""});
            }
        }
    }

    // --- Vendor mode: every transfer the host makes is one the simulated
    // device takes, cut by the protocol's lengths.
    std::vector<std::uint32_t> Writes(const std::uint8_t* header) {
        const std::uint32_t length = header[4] | header[5] << 8;
        if (header[3] == fwup::kDataCommandCode && length > fwup::kLoadAddressSize)
            return {fwup::kLoadAddressSize, length - fwup::kLoadAddressSize};
        return {length};
    }

    void OpenLink() {
        if (link_ != fwup::kInvalidHandleValue) {
            simulation_.Close(link_);  // writes the report, as the simulation does
            link_ = fwup::kInvalidHandleValue;
        }
        fwup::LinkStatus status = fwup::LinkStatus::Failed;
        const std::vector<fwup::UsbDeviceInfo> found = simulation_.FindDevices(&status);
        if (found.empty()) return;
        link_ = simulation_.Open(found.front(), &status);
        downloadStart_ = simulation_.Device().TransfersSoFar();
    }

    bool Transfer(bool isWrite, std::uint32_t count) {
        Gadget& g = vendor_;
        if (link_ == fwup::kInvalidHandleValue) return false;
        const std::uint32_t index = simulation_.Device().TransfersSoFar() - downloadStart_;
        Bytes buffer(std::max<std::uint32_t>(count, 1), 0);
        if (isWrite) {
            const ssize_t got = read(g.out, buffer.data(), count);
            if (got < 0) return false;
            simulation_.Write(link_, buffer.data(), static_cast<std::uint32_t>(got), 0);
            return true;
        }
        const bool wasComplete = simulation_.Device().FirmwareComplete();
        const fwup::TransferResult result = simulation_.Read(link_, buffer.data(), count, 0);
        if (unplugMidDownload_ && !unplugged_ && index == kUnpluggedAtTransfer) {
            // The device leaves the bus with its reply on the way, and stays
            // off a while.
            unplugged_ = true;
            Log("unplugged in the middle of a download");
            AskReplug({&vendor_, 0ms, kUnpluggedFor, ""});
            return false;
        }
        switch (result.status) {
        case fwup::LinkStatus::Ok:
            if (write(g.in, buffer.data(), result.bytes) < 0) return false;
            if (simulation_.Device().FirmwareComplete() && !reportPath_.empty())
                fwup::WriteHeldMemory(simulation_.Device(), reportPath_);
            if (!wasComplete && simulation_.Device().FirmwareComplete()) RestartAfterDownload();
            return true;
        case fwup::LinkStatus::Stalled:
            Log("reply pipe stalled");
            Halt(g.in, true);
            return true;
        default:
            Log("silent");
            silentUntilReplug_ = true;
            return false;
        }
    }

    void ServeVendor() {
        int seenEnables = 0;
        for (;;) {
            if (!vendor_.enabled || silentUntilReplug_) {
                if (vendor_.enables != seenEnables && vendor_.enabled) silentUntilReplug_ = false;
                std::this_thread::sleep_for(10ms);
                continue;
            }
            if (vendor_.enables != seenEnables) {
                seenEnables = vendor_.enables;
                OpenLink();
                Log("download side ready");
            }
            std::uint8_t header[fwup::kCommandHeaderSize];
            const ssize_t got = read(vendor_.out, header, sizeof header);
            if (got < 0) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            if (link_ == fwup::kInvalidHandleValue) continue;
            simulation_.Write(link_, header, static_cast<std::uint32_t>(got), 0);
            if (got != sizeof header) {
                Transfer(false, fwup::kReplySize);
                continue;
            }
            bool going = true;
            for (std::uint32_t size : Writes(header))
                if (going) going = Transfer(true, size);
            if (going) Transfer(false, fwup::kReplySize);
        }
    }

    Options options_;
    fwup::Simulation simulation_;
    bool unplugMidDownload_;
    bool comesBackAfterErase_;
    AfterDownload afterDownload_;
    std::string reportPath_;
    Bytes disk_;
    fwup::PlatformHandle volume_ = fwup::kInvalidHandleValue;
    fwup::PlatformHandle link_ = fwup::kInvalidHandleValue;
    std::uint32_t downloadStart_ = 0;
    std::uint8_t sense_[3] = {};
    bool eraseDone_ = false;
    std::atomic<bool> unplugged_{false};
    std::atomic<bool> silentUntilReplug_{false};
    Gadget storage_, vendor_;
    Gadget* bound_ = nullptr;
    std::mutex lock_;
    std::condition_variable wake_;
    bool replugAsked_ = false;
    ReplugPlan replugPlan_;
};

bool ReadVersion(const std::string& text, std::uint16_t& version) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    version = static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

// The faults of the restart after a download are the gadget's own: taken out
// of the fault list (unprefixed only: the gadget is one device) before the
// simulation reads the rest. A later one wins.
std::string TakeRestartFaults(const std::string& faults, AfterDownload& after) {
    std::string rest;
    std::size_t start = 0;
    while (start <= faults.size()) {
        std::size_t comma = faults.find(',', start);
        if (comma == std::string::npos) comma = faults.size();
        const std::string entry = faults.substr(start, comma - start);
        if (entry == "firmware-does-not-start") after = AfterDownload::DoesNotStart;
        else if (entry == "wrong-version") after = AfterDownload::WrongVersion;
        else rest += (rest.empty() ? "" : ",") + entry;
        start = comma + 1;
    }
    return rest;
}

bool ReadOptions(int argc, char** argv, Options& options) {
    for (int at = 1; at < argc; ++at) {
        const std::string argument = argv[at];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
        if (name == "--udc") options.udc = value;
        else if (name == "--serial") options.serial = value;
        else if (name == "--log") options.log = value;
        else if (name == "--ready") options.ready = value;
        else if (name == "--name") options.name = value;
        else if (name == "--flashed-version" && !ReadVersion(value, options.flashedVersion)) return false;
        else if (name == "--start" && value == "vendor") options.startInVendorMode = true;
        else if (name == "--kind" && value == "device") options.kind = Kind::Device;
        else if (name == "--kind" && value == "stick-refuses") options.kind = Kind::StickRefuses;
        else if (name == "--kind" && value == "stick-silent") options.kind = Kind::StickSilent;
        else return false;
    }
    return options.udc.find('.') != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: fwup-usb-gadget --udc=dummy_udc.N [--serial=S] "
                             "[--kind=device|stick-refuses|stick-silent] [--start=vendor] "
                             "[--log=FILE] [--ready=FILE] [--name=NAME] "
                             "[--flashed-version=HEX]\n");
        return 2;
    }
    if (options.serial.empty()) options.serial = "FWUP" + options.udc.substr(options.udc.find('.') + 1);
    if (options.name.empty()) options.name = "fwup" + options.udc.substr(options.udc.find('.') + 1);
    logPath = options.log;
    std::vector<std::string> problems;
    AfterDownload afterDownload = AfterDownload::Starts;
    const char* givenFaults = std::getenv(fwup::kDemoFaultVariable);
    const std::string otherFaults = TakeRestartFaults(givenFaults ? givenFaults : "", afterDownload);
    fwup::Scenario scenario = fwup::ReadScenario(
        [&](const char* name) -> const char* {
            if (std::strcmp(name, fwup::kDemoFaultVariable) != 0) return std::getenv(name);
            if (givenFaults == nullptr) return nullptr;
            return otherFaults.empty() ? "none" : otherFaults.c_str();
        },
        problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (!problems.empty()) return 2;
    scenario.devices = 1;
    scenario.keepTraffic = false;
    scenario.startInVendorMode = options.startInVendorMode;
    // The bus carries the unplug itself: the device comes back afterwards.
    const bool unplugMidDownload = fwup::FaultOf(scenario, 0) == fwup::ScenarioFault::Unplugged;
    if (unplugMidDownload) scenario.faults.clear();
    Bench bench(options, scenario, unplugMidDownload, afterDownload);
    bench.Run();
}
