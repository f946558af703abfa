#include "selection/autoselection_config.h"

#include <utf8proc.h>

#include <cstdlib>
#include <mutex>

namespace zarnik {
namespace {

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& word : words) {
    if (!out.empty()) out += '|';
    out += word;
  }
  return out;
}

AutoselectionConfig makeDefault() {
  AutoselectionConfig config;
  config.bonusesForBeingInDirectoryByDirectoryPath = {{"/Applications", 10},
                                                      {"/Applications/Utilities", 10},
                                                      {"~/Applications", 10},
                                                      {"~/Applications/Utilities", 10}};
  config.lastOrderSelectionDirectoryPathes = {"/Applications", "/Applications/Utilities",
                                              "~/Applications", "~/Applications/Utilities"};
  // Decomposed forms: "Co\u0301pia" is "Cópia", "\u30d2\u309a" is "ピ", "\u30bf\u3099" is "ダ".
  config.copyPatterns = {"copy",
                         "копия",
                         "kopie",
                         "copie",
                         "copia",
                         "копія",
                         "\u306e\u30b3\u30d2\u309a\u30fc",
                         "kopia",
                         "Co\u0301pia (\\d+\\s)?de",
                         "副本"};
  config.suffixThumbnail = "_1024";
  config.suffixNumberPattern = "([ ,\\-_]+(\\d+|\\(\\d+\\)))$";
  config.untitledFolderPatterns = {
      "untitled folder",          "Neuer ordner",          "carpeta sin ti\u0301tulo",
      "dossier sans titre",       "cartella senza titolo", "Новая папка",
      "名称未設定フォルタ\u3099", "katalog bez nazwy",     "Pasta Sem Ti\u0301tulo",
      "безіменна папка",          "未命名文件夹",          "naamloze map"};
  config.newFolderWithItemsPatterns = {"New Folder With Items",
                                       "Neuer Ordner mit Objekten",
                                       "Nueva carpeta con i\u0301tems",
                                       "Nouveau dossier contenant des e\u0301le\u0301ments",
                                       "Nuova cartella con elementi",
                                       "Новая папка с объектами",
                                       "選択項目から作成したフォルタ\u3099",
                                       "Nowy katalog z rzeczami",
                                       "Nova Pasta Com Itens",
                                       "Нова папка з елементами",
                                       "用所选项目新建的文件夹",
                                       "Nieuwe map met inhoud"};
  return config;
}

}  // namespace

const AutoselectionConfig& AutoselectionConfig::shared() {
  static const AutoselectionConfig config = makeDefault();
  return config;
}

const AutoselectionConfig::Expressions& AutoselectionConfig::expressions() const {
  static std::once_flag once;
  static Expressions built;
  std::call_once(once, [this] {
    const std::string copy = "(" + joined(copyPatterns) + ")";
    built.prefixCopy = RegularExpression::compileOrDie("^[ ,\\-_]*" + copy + "[ ,\\-_]+");
    built.suffixCopy = RegularExpression::compileOrDie("[ ,\\-_]*" + copy + "$");
    built.bracketedCopy = RegularExpression::compileOrDie(
        "[ ,\\-_]*\\((another |\\d+(st|nd|rd|th) )?" + copy + "( \\d+)?\\)$");
    built.thumbnail = RegularExpression::compileOrDie("(" + suffixThumbnail + ")$");
    built.suffixNumber = RegularExpression::compileOrDie(suffixNumberPattern);
    const std::string untitled = "(" + joined(untitledFolderPatterns) + ")";
    const std::string withItems = "(" + joined(newFolderWithItemsPatterns) + ")";
    built.autonamed = RegularExpression::compileOrDie("^(" + untitled + "|" + withItems + ")$");
  });
  return built;
}

std::string decomposedForm(std::string_view text) {
  utf8proc_uint8_t* decomposed = nullptr;
  const auto length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &decomposed,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE));
  if (length < 0) return std::string(text);
  std::string out(reinterpret_cast<const char*>(decomposed), static_cast<size_t>(length));
  std::free(decomposed);
  return out;
}

}  // namespace zarnik
