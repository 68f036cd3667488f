#include "shell/WebPage.h"

#include "shell/PromptService.h"

void OpenWebPage(const QString& address) {
    if (!address.trimmed().isEmpty())
        Prompts().OpenAddress(address.trimmed());
}
