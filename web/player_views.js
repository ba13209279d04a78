// player_views.js: what the module player shows of a song, drawn from
// plain data: the pattern view (the rows of the playing pattern as trackers
// show them, scrolling under a fixed cursor on the row being heard), the
// channel strip above it (one button per channel with its level meter and
// its mute and solo state), the order list, the instruments with their
// sample names, and the formatting of times and cells.
// Owns: window.qmViews. Calls: nothing of the player; player_page.js hands
// it what to draw. Each call touches the page only where something changed,
// so a playing song costs a transform per row and a width per meter.
"use strict";

window.qmViews = (function () {
  const NOTE_NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"];
  const KEY_OFF = 97;
  const LAST_NOTE = 96;
  const CELL_BYTES = 5;
  const VOLUME_SET_FIRST = 0x10;   // the volume column's 0x10..0x50 set volume 0..64
  const VOLUME_SET_LAST = 0x50;
  const VOLUME_COMMANDS = "-+DUSVPLRM";  // 0x6x .. 0xFx: slide down, up, fine down, fine up, vibrato speed,
                                         // vibrato, panning, panning slide left, right, tone portamento
  const BEAT_ROWS = 4;             // every fourth row is marked, as trackers do
  const METER_FALL = 0.86;         // a meter keeps this share of its last height each frame
  const METER_STEP = 0.002;        // a meter moves only by more than this (no restyle for less)
  const METER_FLOOR = 0.02;        // a falling meter below this drops to empty
  const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, "0");
  const escape = (text) => text.replace(/[&<>"]/g, (c) => `&#${c.charCodeAt(0)};`);

  // "1:05.3" (tenths) or "1:05".
  function formatTime(seconds, tenths) {
    const whole = Math.max(0, seconds);
    const minutes = Math.floor(whole / 60);
    const rest = whole - 60 * minutes;
    return `${minutes}:` + (tenths ? rest.toFixed(1).padStart(4, "0") : String(Math.floor(rest)).padStart(2, "0"));
  }

  function noteText(note) {
    if (note === 0) return null;
    if (note === KEY_OFF) return "OFF";
    if (note > LAST_NOTE) return "???";
    return NOTE_NAMES[(note - 1) % 12] + Math.floor((note - 1) / 12);
  }

  function volumeText(volume) {
    if (volume < VOLUME_SET_FIRST) return null;
    if (volume <= VOLUME_SET_LAST) return hex(volume - VOLUME_SET_FIRST, 2);
    if (volume < 0x60) return "??";
    return VOLUME_COMMANDS[(volume >> 4) - 6] + hex(volume & 0x0F, 1);
  }

  function effectText(effect, param) {
    if (effect === 0 && param === 0) return null;
    return effect.toString(36).toUpperCase() + hex(param, 2);
  }

  // One cell as trackers write it: "C-4 01 40 A0F", dots where empty.
  function cellHtml(bytes, at) {
    const fields = [
      ["no", noteText(bytes[at]), "\u00b7\u00b7\u00b7"],
      ["in", bytes[at + 1] ? hex(bytes[at + 1], 2) : null, "\u00b7\u00b7"],
      ["vo", volumeText(bytes[at + 2]), "\u00b7\u00b7"],
      ["fx", effectText(bytes[at + 3], bytes[at + 4]), "\u00b7\u00b7\u00b7"],
    ];
    return "<span class=\"cell\">" + fields.map(([kind, text, empty]) =>
      text === null ? `<i class="${kind} e">${empty}</i>` : `<i class="${kind}">${text}</i>`).join("") + "</span>";
  }

  // ---- The pattern view and its channel strip ----

  function PatternView(box, strip, rows) {
    this.box = box;
    this.strip = strip;
    this.rows = rows;
    this.pattern = -1;
    this.row = -1;
    this.rowHeight = 0;
    this.meters = [];
    this.shown = [];     // the height each meter shows, 0..1
  }

  // The strip: a button per channel, labelled with its number and state.
  PatternView.prototype.setChannels = function (count) {
    let html = "";
    for (let c = 0; c < count; c++) {
      html += `<button type="button" class="ch" data-channel="${c}" aria-pressed="false" ` +
        `aria-label="Channel ${c + 1}"><span class="label">${c + 1}</span>` +
        "<span class=\"meter\"><span class=\"level\"></span></span></button>";
    }
    this.strip.innerHTML = html;
    this.meters = Array.from(this.strip.querySelectorAll(".level"));
    this.shown = this.meters.map(() => 0);
    this.pattern = -1;
  };

  // Marks each channel muted or soloed (arrays of booleans).
  PatternView.prototype.setChannelStates = function (muted, soloed) {
    const anySolo = soloed.some(Boolean);
    this.strip.querySelectorAll(".ch").forEach((button, c) => {
      const silent = muted[c] || (anySolo && !soloed[c]);
      button.classList.toggle("muted", !!muted[c]);
      button.classList.toggle("soloed", !!soloed[c]);
      button.classList.toggle("silent", silent);
      button.setAttribute("aria-pressed", muted[c] ? "true" : "false");
      button.setAttribute("aria-label", `Channel ${c + 1}` + (muted[c] ? ", muted" : "") + (soloed[c] ? ", solo" : ""));
    });
  };

  // Levels 0..1 per channel; a meter falls back slowly, as a meter does.
  PatternView.prototype.setLevels = function (levels) {
    for (let c = 0; c < this.meters.length; c++) {
      const level = Math.min(1, levels ? levels[c] || 0 : 0);
      const fallen = this.shown[c] * METER_FALL;
      const height = Math.max(level, fallen < METER_FLOOR ? 0 : fallen);
      if (Math.abs(height - this.shown[c]) < METER_STEP && height > 0) continue;
      if (height === this.shown[c]) continue;
      this.shown[c] = height;
      this.meters[c].style.transform = `scaleX(${height.toFixed(3)})`;
    }
  };

  // Draws a pattern's rows (cells: rows x channels x 5 bytes) once; the
  // rows then move under the cursor.
  PatternView.prototype.setPattern = function (pattern, rowCount, channels, cells) {
    if (pattern === this.pattern) return;
    this.pattern = pattern;
    this.row = -1;
    let html = "";
    for (let r = 0; r < rowCount; r++) {
      html += `<div class="row${r % BEAT_ROWS === 0 ? " beat" : ""}"><span class="num">${hex(r, 2)}</span>`;
      for (let c = 0; c < channels; c++) html += cellHtml(cells, (r * channels + c) * CELL_BYTES);
      html += "</div>";
    }
    this.rows.innerHTML = html;
    this.rowHeight = 0;
  };

  // The rows' height is measured once they are on screen.
  PatternView.prototype.setRow = function (row) {
    if (!this.rowHeight) {
      const first = this.rows.firstElementChild;
      this.rowHeight = first ? first.getBoundingClientRect().height : 0;
      if (!this.rowHeight) return;
      this.row = -1;
    }
    if (row === this.row) return;
    this.row = row;
    this.rows.dataset.row = row;
    const middle = (this.box.clientHeight - this.rowHeight) / 2;
    this.rows.style.transform = `translateY(${(middle - row * this.rowHeight).toFixed(1)}px)`;
  };

  PatternView.prototype.clear = function () {
    this.rows.innerHTML = "";
    this.pattern = -1;
    this.row = -1;
  };

  // ---- Orders and instruments ----

  function showOrders(list, orders) {
    list.innerHTML = orders.map((pattern, i) =>
      `<li><button type="button" data-order="${i}" aria-label="Order ${i}, pattern ${pattern}">` +
      `${hex(i, 2)}<small>${pattern}</small></button></li>`).join("");
  }

  // Marks the order being heard and keeps it in sight (the list scrolls
  // sideways, the page does not).
  function markOrder(list, order) {
    const previous = list.querySelector("[aria-current]");
    const button = list.children[order] && list.children[order].firstElementChild;
    if (previous === button) return;
    if (previous) previous.removeAttribute("aria-current");
    if (!button) return;
    button.setAttribute("aria-current", "true");
    const item = button.parentElement;
    if (item.offsetLeft < list.scrollLeft || item.offsetLeft + item.offsetWidth > list.scrollLeft + list.clientWidth) {
      list.scrollLeft = item.offsetLeft - list.clientWidth / 2;
    }
  }

  // Instruments with their sample names, where musicians often leave a message.
  function showInstruments(list, instruments) {
    list.innerHTML = instruments.map((instrument) => {
      const samples = instrument.samples.filter((name) => name.trim())
        .map((name) => `<span class="sample">${escape(name)}</span>`).join("");
      return `<li><span class="instrument${instrument.name.trim() ? "" : " e"}">` +
        `${escape(instrument.name.trim() || "\u2014")}</span>${samples}</li>`;
    }).join("");
  }

  return {formatTime, noteText, volumeText, effectText, PatternView, showOrders, markOrder, showInstruments};
})();
