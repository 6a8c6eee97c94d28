#include "ui/shell/spoken_texts.h"

#include <array>

#include "protocol/commands.h"

namespace vx::ui {

namespace {

constexpr int kColumns = 3;
using Row = std::array<std::string, kColumns>;

const std::array<Row, kSpokenCount>& Rows() {
    static const std::string kMinId = std::to_string(protocol::kMinModuleId);
    static const std::string kMaxId = std::to_string(protocol::kMaxModuleId);
    static const std::array<Row, kSpokenCount> rows{{
        {"Lock baud rate", "锁定通讯速度", "鎖定通訊速度"},
        {"While ticked, a scan tries only the chosen baud rate", "勾选时, 扫描只尝试所选的通讯速度",
         "勾選時, 掃描只嘗試所選的通訊速度"},
        {"Link lamp", "连线指示灯", "連線指示燈"},
        {"Checked: the last operation succeeded. Not checked: no link, or it failed. "
         "Busy: talking to the module.",
         "选中: 上次操作成功. 未选中: 没有连线或操作失败. 忙碌: 正在与模组通讯.",
         "選取: 上次操作成功. 未選取: 沒有連線或操作失敗. 忙碌: 正在與模組通訊."},
        {"Input lamp, checked while the input is on", "输入指示灯, 输入接通时选中",
         "輸入指示燈, 輸入接通時選取"},
        {"The ID to give the module, " + kMinId + " to " + kMaxId,
         "要设定的模组编号, " + kMinId + " 至 " + kMaxId,
         "要設定的模組編號, " + kMinId + " 至 " + kMaxId},
        {"The line settings to use, or to give the module", "使用或设定的通讯参数",
         "使用或設定的通訊參數"},
        {"Mode", "模式", "模式"},
        {"The output mode to give the module", "要设定的输出模式", "要設定的輸出模式"},
        {"Search the COM ports for the module and read its settings",
         "在各串口寻找模组并读取其设定", "在各串口尋找模組並讀取其設定"},
        {"Give the module the ID chosen on the scroll bar", "将滚动条所选的编号设定给模组",
         "將捲軸所選的編號設定給模組"},
        {"Give the module the line settings chosen in the list; the module restarts",
         "将清单所选的通讯参数设定给模组, 模组将重置",
         "將清單所選的通訊參數設定給模組, 模組將重置"},
        {"Write the output mode and the NO/NC setting of the inputs to the module",
         "将输出模式和输入的常开/常闭设定写入模组", "將輸出模式和輸入的常開/常閉設定寫入模組"},
        {"Start or stop the live test: the output boxes drive the outputs, the lamps show "
         "the inputs",
         "开始或停止连线测试: 输出方块驱动输出, 指示灯显示输入",
         "開始或停止連線測試: 輸出方塊驅動輸出, 指示燈顯示輸入"},
        {"All outputs", "全部输出", "全部輸出"},
        {"Tick or clear all sixteen output boxes", "勾选或清除全部十六个输出方块",
         "勾選或清除全部十六個輸出方塊"},
        {"Put the module back to its factory settings: ID 01, 19200,e,8,1, mode Hold",
         "将模组恢复出厂设定: 编号 01, 19200,e,8,1, Hold 模式",
         "將模組恢復出廠設定: 編號 01, 19200,e,8,1, Hold 模式"},
        {"Show the window in English", "以英文显示", "以英文顯示"},
        {"Show the window in simplified Chinese", "以简体中文显示", "以簡體中文顯示"},
        {"Show the window in traditional Chinese", "以繁体中文显示", "以繁體中文顯示"},
        {"Close the program", "关闭程式", "關閉程式"},
        {"Ticked: this input is normally closed (NC)", "勾选: 此输入为常闭 (NC)",
         "勾選: 此輸入為常閉 (NC)"},
        {"Output driven during the live test", "连线测试时驱动的输出", "連線測試時驅動的輸出"},
    }};
    return rows;
}

}  // namespace

const std::string& SpokenText(Spoken s, int languageNo) {
    const bool known = languageNo >= 0 && languageNo < kColumns;
    return Rows().at(static_cast<std::size_t>(s))[known ? languageNo : 0];
}

}  // namespace vx::ui
