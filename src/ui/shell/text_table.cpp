#include "ui/shell/text_table.h"

namespace vx::ui {

namespace {

// The banner of the foot panel: company name, three blanks, web address.
constexpr const char* kMakerSite = "www.tavro-automation.example";
constexpr const char* kBannerGap = "   ";

std::string Banner(const char* company) {
    return std::string(company) + kBannerGap + kMakerSite;
}

}  // namespace

TextTable::TextTable()
    : rows_{{
          {Banner("Tavro Automation Co., Ltd."), Banner("塔沃自动化股份有限公司"),
           Banner("塔沃自動化股份有限公司")},
          {"TAVRO VX-9400 Module Config V3.20-01", "TAVRO VX-9400 输入输出模组设定程式 V3.20-01",
           "TAVRO VX-9400 輸入輸出模組設定程式 V3.20-01"},
          {"Start Scan Module!", "请先扫描模组!", "請先掃描模組!"},
          {"Cancel Process Module(Space Key)", "取消连线(空白键)", "取消連線(空白鍵)"},
          {"ID", "编号", "編號"},
          {"BaudRate", "通讯速度", "通訊速度"},
          {"Set Module Baud Rate (Reset)", "设定通讯速度(重置)", "設定通訊速度(重置)"},
          {"Process Module", "模组连线", "模組連線"},
          {"Factory Default", "出厂预设", "出廠預設"},
          {"Quick Setting", "快速设定", "快速設定"},
          {"Default", "预设", "預設"},
          {"Other", "其他", "其他"},
          {"Exit", "结束", "結束"},
          {"Open COM", "开启串口", "開啟串口"},
          {"Error", "错误", "錯誤"},
          {"Scan Module", "扫描模组", "掃描模組"},
          {"S/N", "序号", "序號"},
          {"VER", "版本", "版本"},
          {"Scan COM", "扫描串口", "掃描串口"},
          {"Get Module Info Ok. (COM", "读取模组资讯完成. (串口", "讀取模組資訊完成. (串口"},
          {"Get Module Info Error. (COM", "读取模组资讯错误. (串口", "讀取模組資訊錯誤. (串口"},
          {"Module Not Find", "模组没有连线", "模組沒有連線"},
          {"Set Module ID", "设定模组编号", "設定模組編號"},
          {"Set Module ID Ok", "设定模组编号完成", "設定模組編號完成"},
          {"Set Module ID Error", "设定模组编号错误", "設定模組編號錯誤"},
          {"Set Module BaudRate", "设定模组通讯速度", "設定模組通訊速度"},
          {"Set Module BaudRate Ok", "设定模组通讯速度完成", "設定模組通訊速度完成"},
          {"Set Module BaudRate Error", "设定模组通讯速度错误", "設定模組通訊速度錯誤"},
          {"Set Mode", "设定模式", "設定模式"},
          {"Set Module Mode Ok", "设定模组模式完成", "設定模組模式完成"},
          {"Set Module Mode Error", "设定模组模式错误", "設定模組模式錯誤"},
          {"Set Factory Default", "设定出厂预设值", "設定出廠預設值"},
          {"Set Factory Default Ok", "设定出厂预设值完成", "設定出廠預設值完成"},
          {"Set Factory Default Error", "设定出厂预设值错误", "設定出廠預設值錯誤"},
          {"Set Normal Mode", "设定一般模式", "設定一般模式"},
          {"Set Normal Mode Ok", "设定一般模式完成", "設定一般模式完成"},
          {"Set Normal Mode Error", "设定一般模式错误", "設定一般模式錯誤"},
          {"Normal Mode", "一般模式", "一般模式"},
          {"Set Baudrate 115200", "设定快速模式", "設定快速模式"},
          {"Set Baudrate 115200 Ok", "设定快速模式完成", "設定快速模式完成"},
          {"Set Baudrate 115200 Error", "设定快速模式错误", "設定快速模式錯誤"},
      }} {}

const std::string& TextTable::Text(ops::Msg m, int languageNo) const {
    const bool knownLanguage = languageNo >= 0 && languageNo < kLanguageCount;
    return rows_.at(static_cast<std::size_t>(m))[knownLanguage ? languageNo : kLanguageEnglish];
}

const TextTable& Texts() {
    static const TextTable table;
    return table;
}

const std::string& Text(ops::Msg m, int languageNo) {
    return Texts().Text(m, languageNo);
}

}  // namespace vx::ui
