// The capture program's settings and texts (SlateWise.ini) with their built-in defaults.
//
// Every text a window of the capture program shows and every setting it uses is a field
// of AppSettings. ReadSettings fills the record once per process; the windows read the
// fields directly. Texts are UTF-8 in the record, whether the file was saved as UTF-8 or
// as CP932 (Shift-JIS) by a Windows editor. Only WriteSelections writes to the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace q47::capture {

struct AppSettings {
    // [General]
    std::string Version = "1.10";
    std::string Language = "JAPANESE";
    std::string Mode_Font = "ＭＳ ゴシック";
    int32_t Mode_Font_Charset = 128;  // kept as read; fontCharset() is what windows use
    int32_t Mode_Font_Size = 10;
    int32_t SelectMonitor = 0;  // projector monitor index (see ResolveMonitor)
    int32_t SelectMark = 0;     // 0 none, 1 red, 2 green, 3 blue, 4 black
    int32_t CaptureWait = 500;  // ms between hiding the bar and photographing the screen
    // [Filters]: 3 by 3 smoothing of the laid-in screen picture, row by row
    // (keys Filter0..Filter8, FilterDiv; FilterL0..FilterL8, FilterLDiv).
    int32_t Filter[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    int32_t FilterDiv = 9;
    int32_t FilterL[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    int32_t FilterLDiv = 9;
    // [TitleText]
    std::string UtilityTitle = "Slatewise";
    // [MenuText]
    std::string MenuFile = "ファイル(&F)";
    std::string MenuHelp = "ヘルプ(&H)";
    std::string SubMenuOverWrite = "上書き保存(&S)";
    std::string SubMenuSave = "名前をつけて保存(&A)";
    std::string SubMenuPrint = "印刷(&P)";
    std::string SubMenuHelp = "ヘルプ(&O)";
    std::string SubMenuVersion = "バージョン情報(&V)";
    // [DialogCaption]
    std::string FrameSetUp = "設定";
    std::string FrameGetImage = "投影画像合成";
    std::string FrameDisplay = "合成画像表示";
    std::string FrameVersion = "バージョン情報";
    std::string GroupMonitorSelecct = "プロジェクタモニター選択";  // sic: the key's spelling
    std::string GroupPosColorSelect = "位置検出指定色選択";
    std::string ComboColor[5] = {"指定色なし", "赤", "緑", "青", "黒"};  // ComboColor1..5
    std::string ComboDisplay[5] = {"ディスプレイ１", "ディスプレイ２", "ディスプレイ３",
                                   "ディスプレイ４", "ディスプレイ５"};  // ComboDisplay1..5
    std::string LabelProjectorUse = "合成しますか？";
    std::string ButtonOK = "ＯＫ";
    std::string ButtonCancel = "キャンセル";
    std::string ButtonYes = "はい(&Y)";
    std::string ButtonNo = "いいえ(&N)";
    std::string HintScan = "スキャン";
    std::string HintMark = "マーク";
    std::string HintSet = "設定";
    std::string HintMin = "最小化";
    std::string HintHelp = "ヘルプ";
    std::string HintClose = "閉じる";
    std::string HintSave = "保存";
    std::string HintAspect = "アスペクト変更";
    std::string HintActualSize = "全画面表示";
    std::string HintYes = "投影画像とシート面の取り込み";
    std::string HintNo = "シート面のみの取り込み";
    // [MessageText]; every message box has MsgConfirmation as its caption.
    std::string MsgCaptureErr = "プロジェクタ画像キャプチャに失敗しました．";
    std::string MsgInitScanErr = "スキャナ初期化処理でエラーが発生しました．";
    std::string MsgExecScanErr = "スキャン実行に失敗しました．";
    std::string MsgFileSaveErr = "イメージファイル保存に失敗しました．";
    std::string MsgAutoDetectErr = "自動位置検出に失敗しました．";
    std::string MsgPrintErr = "印刷に失敗しました．";
    std::string MsgConfirmation = "確認";
    std::string MsgFileNotSave = "画像が保存されていません。合成画像表示を終了していいですか？";
    std::string MsgFileNotSaveApp = "画像が保存されていません。アプリケーションを終了していいですか？";
    std::string MsgScanning = "スキャン中は終了できません.";
    std::string MsgExecuted = "SlateWiseはすでに実行されています！";

    // The font character set the windows use: the low byte of Mode_Font_Charset.
    int fontCharset() const { return Mode_Font_Charset & 0xFF; }
    // The bar's title: UtilityTitle, a blank, Version.
    std::string barTitle() const { return UtilityTitle + " " + Version; }

    bool operator==(const AppSettings&) const = default;
};

// "SlateWise.ini" in the settings folder (q47::paths::settingsFolder: $Q47_HOME, the
// program's folder when the file lies there, else ~/.config/q47).
std::filesystem::path SettingsPath();

// Every key in the record's order, each with its default; a missing file or key, or an
// integer that is neither decimal nor "0x" hexadecimal (or does not fit 32 bits), gives
// the default. Never fails.
AppSettings ReadSettings(const std::filesystem::path& path);
AppSettings ReadSettings();

// Writes SelectMonitor and SelectMark (decimal) into [General], creating the file when
// it is missing and keeping everything else in it. False when the file cannot be
// written (the setup dialog ignores it, as a failed write is silent).
bool WriteSelections(const AppSettings& settings, const std::filesystem::path& path);
bool WriteSelections(const AppSettings& settings);

// The integer rule of the settings file: decimal (optional sign) or "0x"/"0X" followed
// by hexadecimal digits; anything else, or a value beyond 32 bits, gives def.
int32_t ParseSettingInteger(const std::string& text, int32_t def);

}  // namespace q47::capture
