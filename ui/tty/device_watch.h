// Device arrivals and removals on Linux, from the kernel's uevent broadcast. The terminal backend
// turns each burst of them into one DBT_DEVNODES_CHANGED notice to its dialogs; when the broadcast
// cannot be received, it sends that notice once a second instead.
#pragma once

class DeviceWatch {
public:
    DeviceWatch();
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // The descriptor to wait on, or -1 when the broadcast is not received.
    int Descriptor() const { return m_socket; }
    // Reads every pending event; true when a device was added or removed among them.
    bool Drain();

private:
    int m_socket;
};
