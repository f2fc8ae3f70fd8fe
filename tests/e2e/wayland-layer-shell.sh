# The layer-shell half of wayland-session.sh, sourced by it once sway and the app run (in a
# build with LayerShellQt): "runel toggle" maps the HUD as an overlay surface, which is no
# window of sway's tree and needs no window rule; typed keys reach it and run a script; Escape,
# a second toggle and a click outside the panels close it. Where the panels are is read from
# screenshots of the place the HUD takes (centred, its bottom edge 80 px above the middle of the
# 1280x800 output) and of the place below it where the results panel goes.
# A failure leaves a screenshot of what the output showed beside the pictures.
eval "$(declare -f fail | sed '1s/^fail/session_fail/')"
fail() {
    [[ -n $pictures ]] && mkdir -p "$pictures" && grim "$pictures/layer-shell-failure.png"
    session_fail "$@"
}
hud_region="430,200 420x120"
results_region="430,330 420x100"
shot() { grim -g "$1" -t ppm "$2"; }
shot "$hud_region" "$work/hud-empty.ppm" || fail "grim could not take a screenshot"
shot "$results_region" "$work/results-empty.ppm"
region_changed() { shot "$1" "$work/now.ppm" && ! cmp -s "$work/now.ppm" "$2"; }
region_empty() { shot "$1" "$work/now.ppm" && cmp -s "$work/now.ppm" "$2"; }
hud_shown() { region_changed "$hud_region" "$work/hud-empty.ppm"; }
hud_gone() { region_empty "$hud_region" "$work/hud-empty.ppm"; }
results_shown() { region_changed "$results_region" "$work/results-empty.ppm"; }
app_windows() {
    swaymsg -t get_tree | jq -e '[.. | objects | select(.app_id? == "io.github.runel.Runel")]
        | length > 0'
}

# A mouse, plugged in before the HUD shows so the app has its pointer when the clicks come.
coproc POINTER { "$fake_pointer" 1280x800 2>> "$work/pointer.log"; }
pids+=("$POINTER_PID")
until_true "the seat has no pointer" sh -c \
    "swaymsg -t get_seats | jq -e '.[0].capabilities | . % 2 == 1'"

# Two scripts that share a first letter: "p" is a prefix, which shows the results at once.
printf '#!/bin/bash\necho one\n' > "$HOME/.runel/pack one.sh"
printf '#!/bin/bash\necho two\n' > "$HOME/.runel/pack two.sh"
chmod +x "$HOME"/.runel/*.sh

swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "runel toggle did not show the HUD above the middle of the output" hud_shown
grep -q 'namespace runel-hud' "$work/sway-debug.log" \
    || fail "sway's log shows no layer surface of the namespace runel-hud"
! app_windows || fail "the HUD is a window in sway's tree, not a layer surface"

# Under this headless sway a key typed at the moment the HUD maps can be lost (the first wtype
# after it does not reach the HUD), so the key is typed again, after a Backspace that takes away
# an earlier one that did arrive, until the results show.
type_p() {
    local _
    for _ in $(seq 20); do
        wtype -k BackSpace p
        results_shown && return 0
        sleep 0.5
        results_shown && return 0
    done
    return 1
}
type_p || fail "typing p did not show the results panel 10 px below the HUD"
! app_windows || fail "the results panel is a window in sway's tree, not a layer surface"
if [[ -n $pictures ]]; then
    mkdir -p "$pictures"
    grim "$pictures/layer-shell-hud.png" || fail "grim could not save the screenshot"
fi
wtype -k Escape
until_true "Escape did not clear the typed key" \
    region_empty "$results_region" "$work/results-empty.ppm"
wtype -k Escape
until_true "Escape did not close the HUD" hud_gone

swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "a second runel toggle did not show the HUD" hud_shown
# The HUD has the keyboard once a key shows in it (z alone would run at once): p then Backspace.
type_p || fail "typing p into the second HUD did not show the results panel"
wtype -k BackSpace
until_true "Backspace did not take the typed key away" \
    region_empty "$results_region" "$work/results-empty.ppm"
wtype z
until_true "typing z did not log a run of zed.sh" sh -c "'$runel' log | grep -q Zed"
until_true "the HUD did not close after the run" hud_gone

# The HUD holds the keyboard, so a click elsewhere takes no focus from it; the clear surface
# under the panels hears the click instead and closes it. A click on the HUD itself does not.
click_at() {
    local reply
    echo "click $1 $2" >&"${POINTER[1]}" && read -r -t 10 reply <&"${POINTER[0]}" \
        && [[ $reply == ok ]]
}
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "runel toggle did not show the HUD for the clicks" hud_shown
sleep 0.5
click_at 640 260 || fail "fake-pointer could not click"
sleep 0.5
hud_shown || fail "a click on the HUD closed it"
click_at 100 700 || fail "fake-pointer could not click"
until_true "a click outside the panels did not close the HUD" hud_gone

# The binding toggles: once to open, once to close.
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "a third runel toggle did not show the HUD" hud_shown
swaymsg exec "$runel toggle" >/dev/null || fail "swaymsg exec failed"
until_true "a fourth runel toggle did not close the HUD" hud_gone

"$runel" quit || fail "runel quit failed"
until_true "runel quit did not end the app" sh -c "! kill -0 $app"
echo "PASS (wayland layer shell)"
