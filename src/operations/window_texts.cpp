#include "operations/window_texts.h"

namespace vx::ops {

namespace {

constexpr const char* kPanelJoint = " : ";

}  // namespace

std::string SerialPanelText(const ModuleWindow& w, const std::string& serial) {
    return w.Text(Msg::SerialNo) + kPanelJoint + serial;
}

std::string VersionPanelText(const ModuleWindow& w, const std::string& version) {
    return w.Text(Msg::Version) + kPanelJoint + version;
}

std::string PortSuffix(int portNumber) {
    return " : #" + std::to_string(portNumber);
}

std::string PortErrorText(const ModuleWindow& w, int portNumber) {
    return w.Text(Msg::OpenCom) + " : " + std::to_string(portNumber) + " " + w.Text(Msg::Error);
}

}  // namespace vx::ops
