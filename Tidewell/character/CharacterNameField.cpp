#include "character/CharacterNameField.h"

#include "core/AppStore.h"
#include "kit/Theme.h"
#include "social/SocialServices.h"
#include "ui/Characters.h"
#include "ui/LabeledContent.h"
#include "ui/Text.h"
#include "ui/TextField.h"

namespace tidewell {

namespace ui = platform::ui;

std::string limitCharacterNameText(const std::string& text) {
    return ui::characterCount(text) > characterNameFieldLimit ? ui::prefixCharacters(text, characterNameFieldLimit) : text;
}

NameFieldReporting installedNameFieldReporting() {
    return {[] {
                auto& hook = socialHooks().isSignedIn;
                return hook ? hook() : false;
            },
            [](const CharacterProfile& profile, std::uint64_t lifetime, auto done) {
                auto& hook = socialHooks().leaderboardReportNow;
                if (hook) hook(profile, lifetime, std::move(done));
                else done(false, std::nullopt);  // no service to ask: as a report without a session
            }};
}

namespace {

bool droppedMoreThanSpacesAndTabs(const std::string& typed, const std::string& stored) {
    const auto first = typed.find_first_not_of(" \t");
    if (first == std::string::npos) return !stored.empty();
    return typed.substr(first, typed.find_last_not_of(" \t") - first + 1) != stored;
}

}  // namespace

void commitName(AppStore& store, const NameFieldState& state, const NameFieldReporting& reporting) {
    const std::string typed = state.text.get();
    const std::string name = trimmedCharacterName(typed);
    const CharacterProfile current = store.character.get();
    // Compared as stored, so a stored name with spaces around it can be
    // renamed to itself trimmed, which the leaderboard toggle then accepts.
    if (name == current.name) {
        state.error.set(std::nullopt);
        return;
    }
    if (!isValidCharacterName(name)) {
        state.error.set(std::string(characterNameRuleMessage));
        return;
    }
    state.error.set(std::nullopt);
    const std::string previous = current.name;
    CharacterProfile renamed = current;
    renamed.name = name;
    store.setCharacter(renamed);
    // Spaces and tabs typed around a name may stay shown after Return; a
    // no-break or other wide space cannot be told from a letter's edge, so
    // the field shows at once the name that was stored without it.
    if (droppedMoreThanSpacesAndTabs(typed, name)) state.text.set(name);
    if (!renamed.leaderboardOptIn || !reporting.isSignedIn || !reporting.isSignedIn() || !reporting.reportNow) return;
    state.saving.set(true);
    AppStore* s = &store;
    reporting.reportNow(store.character.get(), store.lifetimeReclaimedBytes.get(),
                        [s, state, previous](bool ok, std::optional<std::string> status) {
                            if (!ok) {
                                CharacterProfile back = s->character.get();
                                back.name = previous;
                                s->setCharacter(back);
                                state.text.set(previous);
                                state.error.set(status && !status->empty() ? *status : std::string("Could not save that name."));
                            }
                            state.saving.set(false);
                        });
}

ui::View CharacterNameField(AppStore& store, NameFieldReporting reporting) {
    AppStore* s = &store;
    const std::string storedName = store.character.get().name;
    return ui::WithState<std::string>("", [s, reporting, storedName](ui::Binding<std::string> text) {
        return ui::WithState<std::optional<std::string>>(std::nullopt, [=](ui::Binding<std::optional<std::string>> error) {
            return ui::WithState<bool>(false, [=](ui::Binding<bool> saving) {
                return ui::WithState<bool>(false, [=](ui::Binding<bool> focused) {
                    const NameFieldState state{text, error, saving};
                    const ui::Binding<std::string> limited([text] { return text.get(); },
                                                           [text](std::string v) { text.set(limitCharacterNameText(v)); });
                    ui::TextFieldOptions options;
                    options.focused = focused;
                    options.onSubmit = [s, state, reporting] { commitName(*s, state, reporting); };
                    const auto message = error.get();
                    return ui::VStack(
                               ui::HorizontalAlignment::leading, 4,
                               {ui::LabeledContent("Name", ui::TextField("BriskOtter4821", limited, options).disabled(saving.get())),
                                ui::Text(message.value_or(characterNameHelp))
                                    .font(ui::Font::callout())
                                    .foregroundStyle(message ? ui::ShapeStyle(Theme::caution()) : ui::ShapeStyle::secondary())
                                    .fixedSize(false, true)})
                        .onAppear([s, text] { text.set(s->character.get().name); })
                        .onChange(storedName, [text, focused](const std::string& name) {
                            if (!focused.get()) text.set(name);
                        })
                        .onChange(focused.get(), [s, state, reporting](bool isFocused) {
                            if (!isFocused) commitName(*s, state, reporting);
                        });
                });
            });
        });
    });
}

}  // namespace tidewell
