#include "tests/support/strings.h"

#include <gtest/gtest.h>

namespace wintest {

const ExpectedString EXPECTED_STRINGS[] = {
    {150, "VORTA-X", "VORTA-X"},
    {151, "Readme first", "はじめにお読みください"},
    {152, "About update", "アップデートについて"},
    {153, "VORTA-X", "VORTA-X"},
    {154, "Control Panel", "コントロールパネル"},
    {155, "Xstarter", "Xstarter"},
    {156, "Uninstall", "アンインストール"},
    {157, "Configuration Assistant", "設定アシスタント"},
    {159, "Online Help", "オンラインヘルプ"},
    {160, "Readme first", "はじめに お読みください"},
    {161, "About update", "アップデート について"},
    {162, "Control Panel", "Control Panel"},
    {1000, "VORTA-X Uninstaller", "VORTA-X アンインストール"},
    {1001,
     "This uninstaller will remove VORTA-X from your computer.\nClick OK to uninstall the "
     "product.",
     "このプログラムは VORTA-X をアンインストールします。\nよろしいですか?"},
    {1002, "Uninstall has completed the all steps successfully.",
     "アンインストールは正常に終了しました。"},
    {1003,
     "Uninstall has completed successfully.\nSome directory or shortcuts may be "
     "remaind.\nPlease remove these files or shortcuts using by Explorer.",
     "アンインストールを正常に終了しました。\nいくつかのディレクトリまたはショートカットを削除"
     "できませんでした。\nエクスプローラなどで削除してください。"},
    {1005,
     "Do you want to delete VORTA-X registry?\n\nSelect [No] if you install new version of "
     "VORTA-X after uninstall.",
     "レジストリも削除しますか？\n\n新しいバージョンのVORTA-Xへ移行するときは、[いいえ]を選択す"
     "るとVORTA-Xの\nコントロールパネルの設定を引き継ぐことができます。\n"},
    {1040, "Fatal error", "エラー"},
    {1041, "Uninstall is faild.", "アンインストールできませんでした。"},
    {1060, "Warning", "警告"},
    {1063, "%s directory can not be removed.", "ディレクトリ(%s)を削除できませんでした。"},
    {1064,
     "Uninstall can not get install directory information of VORTA-X,\nthen, can not delete "
     "it.",
     "VORTA-X のインストール先情報を取得することができなかったため、\nインストール先ディレクト"
     "リを削除することができませんでした。"},
    {1065, "Shortcats can not be removed.", "ショートカットを削除できませんでした。"},
};
const int EXPECTED_STRING_COUNT = sizeof EXPECTED_STRINGS / sizeof EXPECTED_STRINGS[0];

std::string expected_text_at(Where where, unsigned int id, bool japanese) {
    for (int i = 0; i < EXPECTED_STRING_COUNT; i++)
        if (EXPECTED_STRINGS[i].id == id)
            return japanese ? EXPECTED_STRINGS[i].japanese : EXPECTED_STRINGS[i].english;
    ADD_FAILURE_AT(where.file, where.line) << "no expected text for string " << id;
    return std::string();
}

} // namespace wintest
