#include "platform/host/headless/headless_joystick.h"

#include <mutex>

namespace {

std::mutex gMutex;
std::vector<qzJoystickReading> gDevices;

int Scan(int* count) {
    std::lock_guard<std::mutex> lock(gMutex);
    *count = static_cast<int>(gDevices.size());
    return 0;
}

int Read(int index, qzJoystickReading* reading) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (index < 0 || static_cast<size_t>(index) >= gDevices.size()) return 0;
    *reading = gDevices[static_cast<size_t>(index)];
    return 1;
}

void Release() {}

const qzJoystickSource kSource = {Scan, Read, Release};

}  // namespace

const qzJoystickSource* HeadlessJoystickSource() { return &kSource; }

void HeadlessSetJoysticks(const std::vector<qzJoystickReading>& devices) {
    std::lock_guard<std::mutex> lock(gMutex);
    gDevices = devices;
}
