#include "shell/WebPage.h"

#include "core/PromptService.h"

void OpenWebPage(const QString& address) {
    if (!address.trimmed().isEmpty())
        Prompts().OpenAddress(address.trimmed());
}
