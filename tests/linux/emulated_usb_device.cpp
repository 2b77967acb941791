#include "linux/emulated_usb_device.h"
#include "linux/umockdev_testbed.h"

#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace fwup::test {

namespace {

constexpr char kDeviceDirectory[] = "/dev/bus/usb/001";

}  // namespace

std::vector<std::uint8_t> UsbDescriptors(std::uint16_t vendorId, std::uint16_t productId,
                                         bool vendorInterface) {
    const std::uint8_t interfaceClass = vendorInterface ? 0xFF : 0x08;
    return {
        // device: USB 2.0, 64-byte control endpoint, one configuration
        18, 1, 0x00, 0x02, 0, 0, 0, 64, static_cast<std::uint8_t>(vendorId),
        static_cast<std::uint8_t>(vendorId >> 8), static_cast<std::uint8_t>(productId),
        static_cast<std::uint8_t>(productId >> 8), 0x00, 0x01, 0, 0, 0, 1,
        // configuration 1: one interface, 32 bytes in all, self-powered
        9, 2, 32, 0, 1, 1, 0, 0xC0, 50,
        // interface 0: two endpoints
        9, 4, 0, 0, 2, interfaceClass, 0, 0, 0,
        // bulk OUT 0x01 and bulk IN 0x81, 512 bytes a packet
        7, 5, 0x01, 2, 0x00, 0x02, 0,  //
        7, 5, 0x81, 2, 0x00, 0x02, 0,
    };
}

EmulatedUsbDevice::EmulatedUsbDevice(UMockdevTestbed* testbed, const std::string& sysname,
                                     int devnum, std::uint16_t vendorId, std::uint16_t productId,
                                     bool vendorInterface)
    : testbed_(testbed) {
    char number[16], node[64], major[16], idVendor[16], idProduct[16];
    std::snprintf(number, sizeof number, "%d\n", devnum);
    std::snprintf(node, sizeof node, "%s/%03d", kDeviceDirectory, devnum);
    std::snprintf(major, sizeof major, "189:%d", devnum - 1);
    std::snprintf(idVendor, sizeof idVendor, "%04x\n", vendorId);
    std::snprintf(idProduct, sizeof idProduct, "%04x\n", productId);
    devnode_ = node;
    const std::string name = "usb1/" + sysname;
    gchar* path = umockdev_testbed_add_device(
        testbed, "usb", name.c_str(), nullptr,
        // attributes
        "busnum", "1\n", "devnum", number, "speed", "480\n", "dev", major, "idVendor", idVendor,
        "idProduct", idProduct, "bConfigurationValue", "1\n", nullptr,
        // properties
        "DEVNAME", node, "DEVTYPE", "usb_device", nullptr);
    if (path == nullptr) throw std::runtime_error("umockdev refused the USB device");
    sysfsPath_ = path;
    g_free(path);
    std::vector<std::uint8_t> descriptors = UsbDescriptors(vendorId, productId, vendorInterface);
    umockdev_testbed_set_attribute_binary(testbed, sysfsPath_.c_str(), "descriptors",
                                          descriptors.data(),
                                          static_cast<gint>(descriptors.size()));

    CreateDeviceNode(devnode_);

    link_ = firmware_.Open(UsbDeviceInfo{firmware_.usbId, {}}, nullptr);

    handler_ = AttachIoctlHandler(devnode_, G_CALLBACK(OnIoctl), this);
}

EmulatedUsbDevice::~EmulatedUsbDevice() {
    umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
    umockdev_testbed_remove_device(testbed_, sysfsPath_.c_str());
    RemoveDeviceNode(devnode_);
    g_object_unref(handler_);
    std::lock_guard<std::mutex> guard(lock_);
    for (Done& done : reapable_) {
        g_object_unref(done.urb);
        g_object_unref(done.buffer);
    }
    for (Held& held : held_) {
        g_object_unref(held.urb);
        g_object_unref(held.buffer);
    }
}

void EmulatedUsbDevice::Plan(std::uint32_t urbIndex, UrbPlan plan) {
    std::lock_guard<std::mutex> guard(lock_);
    plans_[urbIndex] = std::move(plan);
}

std::vector<UrbRecord> EmulatedUsbDevice::Urbs() {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

std::uint32_t EmulatedUsbDevice::SubmittedUrbs() {
    std::lock_guard<std::mutex> guard(lock_);
    return submitted_;
}

int EmulatedUsbDevice::ClaimedInterfaces() {
    std::lock_guard<std::mutex> guard(lock_);
    return claimed_;
}

int EmulatedUsbDevice::DiscardedUrbs() {
    std::lock_guard<std::mutex> guard(lock_);
    return discarded_;
}

gboolean EmulatedUsbDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
    return static_cast<EmulatedUsbDevice*>(self)->HandleIoctl(client);
}

gboolean EmulatedUsbDevice::HandleIoctl(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (unplugged_ && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    switch (request) {
        case USBDEVFS_SUBMITURB: Submit(client); break;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: Reap(client); break;
        case USBDEVFS_DISCARDURB: Discard(client); break;
        case USBDEVFS_CLAIMINTERFACE:
            if (refuseClaim_) {
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                break;
            }
            ++claimed_;
            umockdev_ioctl_client_complete(client, 0, 0);
            break;
        case USBDEVFS_RELEASEINTERFACE:
            --claimed_;
            umockdev_ioctl_client_complete(client, 0, 0);
            break;
        case USBDEVFS_GETDRIVER:  // no kernel driver bound to the interface
        case USBDEVFS_IOCTL:      // nothing to disconnect
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            break;
        default: umockdev_ioctl_client_complete(client, -1, ENOTTY); break;
    }
    return TRUE;
}

void EmulatedUsbDevice::Submit(UMockdevIoctlClient* client) {
    GError* error = nullptr;
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (urbData == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), &error);
    if (buffer == nullptr || urb->type != USBDEVFS_URB_TYPE_BULK) {
        g_clear_error(&error);
        if (buffer != nullptr) g_object_unref(buffer);
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    const auto planned = plans_.find(submitted_++);
    const UrbPlan plan = planned == plans_.end() ? UrbPlan{} : planned->second;
    if (plan.fault == UrbFault::Unplug) {
        unplugged_ = true;
        g_object_unref(buffer);
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    if (plan.fault == UrbFault::TimeLimit || plan.fault == UrbFault::Withheld) {
        held_.push_back(Held{urbData, buffer, plan});
    } else {
        CarryOut(urbData, buffer, plan);
        reapable_.push_back(Done{urbData, buffer});
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbDevice::CarryOut(UMockdevIoctlData* urbData, UMockdevIoctlData* buffer,
                                 const UrbPlan& plan) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    const bool isIn = (urb->endpoint & 0x80) != 0;
    const auto length = static_cast<std::uint32_t>(urb->buffer_length);
    UrbRecord record{urb->endpoint, {}, 0};
    std::uint32_t moved = 0;
    if (plan.fault == UrbFault::Stall) {
        record.status = -EPIPE;
    } else if (isIn) {
        moved = firmware_.Read(link_, buffer->data, length, 0).bytes;
        record.bytes.assign(buffer->data, buffer->data + moved);
    } else {
        record.bytes.assign(buffer->data, buffer->data + length);
        firmware_.Write(link_, buffer->data, length, 0);
        moved = length;  // the bus took the bytes, whatever the firmware made of them
    }
    urb->status = record.status;
    urb->actual_length = static_cast<int>(moved);
    records_.push_back(std::move(record));
}

void EmulatedUsbDevice::Reap(UMockdevIoctlClient* client) {
    if (reapable_.empty()) {
        umockdev_ioctl_client_complete(client, -1, unplugged_ ? ENODEV : EAGAIN);
        return;
    }
    // The argument points to the host's slot for the URB's address.
    GError* error = nullptr;
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client),
                                                          0, sizeof(void*), &error);
    if (slot == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    const Done done = reapable_.front();
    reapable_.erase(reapable_.begin());
    umockdev_ioctl_data_set_ptr(slot, 0, done.urb);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(slot);
    g_object_unref(done.urb);
    g_object_unref(done.buffer);
}

void EmulatedUsbDevice::Discard(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    gulong address = 0;
    std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
    const auto found = std::find_if(held_.begin(), held_.end(),
                                    [&](const Held& held) { return held.urb->client_addr == address; });
    if (found == held_.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    if (found->plan.fault == UrbFault::Withheld) {  // acknowledged, never done
        ++discarded_;
        umockdev_ioctl_client_complete(client, 0, 0);
        return;
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(found->urb->data);
    const std::size_t delivered =
        std::min(found->plan.partial.size(), static_cast<std::size_t>(urb->buffer_length));
    if (delivered > 0) std::memcpy(found->buffer->data, found->plan.partial.data(), delivered);
    urb->status = -ENOENT;
    urb->actual_length = static_cast<int>(delivered);
    records_.push_back(UrbRecord{urb->endpoint,
                                 {found->plan.partial.begin(),
                                  found->plan.partial.begin() + static_cast<long>(delivered)},
                                 -ENOENT});
    ++discarded_;
    reapable_.push_back(Done{found->urb, found->buffer});
    held_.erase(found);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbDevice::ReleaseWithheld() {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto held = held_.begin(); held != held_.end();) {
        if (held->plan.fault != UrbFault::Withheld) {
            ++held;
            continue;
        }
        auto* urb = reinterpret_cast<usbdevfs_urb*>(held->urb->data);
        const std::size_t delivered =
            std::min(held->plan.partial.size(), static_cast<std::size_t>(urb->buffer_length));
        std::memcpy(held->buffer->data, held->plan.partial.data(), delivered);
        urb->status = 0;
        urb->actual_length = static_cast<int>(delivered);
        records_.push_back(UrbRecord{urb->endpoint,
                                     {held->plan.partial.begin(),
                                      held->plan.partial.begin() + static_cast<long>(delivered)},
                                     0});
        reapable_.push_back(Done{held->urb, held->buffer});
        held = held_.erase(held);
    }
}

}  // namespace fwup::test
