#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eventlog/events.h"
#include "fake_win32.h"

// Every test starts from a fresh process: the stand-in's script and record, and the service's globals.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};


// The events as an administrator reads them: identifier and insertion strings; the fixed
// attributes of each are checked on the way.
struct EventText {
    DWORD id;
    std::vector<std::string> strings;
    bool operator==(const EventText&) const = default;
};
std::vector<EventText> EventTexts();
void PrintTo(const EventText& event, std::ostream* out);

// Status reports compared whole, seven fields in record order.
bool operator==(const SERVICE_STATUS& a, const SERVICE_STATUS& b);
void PrintTo(const SERVICE_STATUS& status, std::ostream* out);
SERVICE_STATUS StartPending(DWORD checkPoint);
SERVICE_STATUS Running();
SERVICE_STATUS StopPending(DWORD checkPoint);
SERVICE_STATUS Stopped(DWORD exitCode);

// Calls recorded by name, with the arguments dropped, for order checks.
std::vector<std::string> CallNames();
