// player_views.js: what the module player shows of a song, drawn from
// plain data: the pattern view (the rows of the playing pattern as trackers
// show them, scrolling under a fixed cursor on the row being heard), the
// channel strip above it (one button per channel with its level meter and
// its mute and solo state), the order list, the instruments with their
// sample names, and the formatting of times and cells.
// Owns: window.qmViews. Calls: nothing of the player; player_page.js hands
// it what to draw. Each call touches the page only where something changed,
// so a playing song costs a transform per row, a canvas redraw when a meter
// moved, and a block of rows written (a few text boxes a row) every 16 rows.
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
  const METER_FALL = 0.74;         // a meter keeps this share of its height from one update (the page
                                   // makes 30 a second) to the next
  const METER_STEP = 0.002;        // a meter moves only by more than this (no redraw for less)
  const METER_FLOOR = 0.02;        // a falling meter below this drops to empty
  const METER_INKS = [[0, "#3fb67e"], [0.75, "#e2c25a"], [1, "#ef6b5b"]];  // along a meter's track
  const SILENT_METER_ALPHA = 0.25; // a muted channel's meter, faint
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

  // ---- The pattern view's text ----
  // A row is text in a monospaced font, one column a character: the row
  // number, then each channel's cell " C-4 01 40 A0F". Each row is written
  // as one string per colour ("ink"), spaces where another ink writes, the
  // strings laid over one another: a handful of text boxes a row instead of
  // an element per field, so a new pattern lays out in a moment.
  const CELL_CHARS = 14;           // " C-4 01 40 A0F" (the style sheet's --cell)
  const ROW_BLOCK = 16;            // rows written at once

  // The strings of one row, by ink (absent where the ink writes nothing).
  function rowInks(bytes, row, channels) {
    const lines = {};
    let column = 0;
    const put = (ink, text) => {
      const line = lines[ink] || "";
      lines[ink] = line + " ".repeat(column - line.length) + text;
      column += text.length;
    };
    put(row % BEAT_ROWS === 0 ? "beat" : "number", hex(row, 2) + " ");
    for (let c = 0; c < channels; c++) {
      const at = (row * channels + c) * CELL_BYTES;
      const fields = [
        ["note", noteText(bytes[at]), "\u00b7\u00b7\u00b7"],
        ["instrument", bytes[at + 1] ? hex(bytes[at + 1], 2) : null, "\u00b7\u00b7"],
        ["volume", volumeText(bytes[at + 2]), "\u00b7\u00b7"],
        ["effect", effectText(bytes[at + 3], bytes[at + 4]), "\u00b7\u00b7\u00b7"],
      ];
      for (const [ink, text, empty] of fields) {
        column += 1;
        put(text === null ? "empty" : ink, text === null ? empty : text);
      }
    }
    return lines;
  }

  // One row's markup: its inks' strings, each in its own colour, over one another.
  function rowHtml(bytes, row, channels) {
    const lines = rowInks(bytes, row, channels);
    return `<div class="row" data-row="${row}">` +
      Object.keys(lines).map((ink) => `<i class="${ink}">${lines[ink]}</i>`).join("") + "</div>";
  }

  // ---- The pattern view and its channel strip ----

  // box: the view's box; strip: the channel strip; rows: what holds the rows.
  function PatternView(box, strip, rows) {
    this.box = box;
    this.strip = strip;
    this.rows = rows;
    this.pattern = -1;
    this.row = -1;
    this.rowHeight = 0;  // CSS pixels, from the style sheet
    this.middle = 0;     // where the cursor's row starts in the view
    this.reach = 0;      // rows in sight above and below the cursor's
    this.rowCount = 0;
    this.channels = 0;
    this.cells = null;   // the pattern's cells, rows x channels x 5 bytes
    this.first = 0;      // the rows written: first .. last
    this.last = -1;
    this.moves = 0;      // rows moved under the cursor so far (tests count them)
    this.meters = null;  // the canvas over the strip's meter tracks
    this.track = null;   // where the tracks are: {left, top, width, height, pitch} in CSS pixels
    this.shown = [];     // the height each meter shows, 0..1
    this.silent = [];    // per channel: muted, or another soloed
    this.meterDraws = 0; // meter redraws so far (tests count them)
  }

  // The strip: a button per channel, labelled with its number and state,
  // its meter's track empty (the levels are drawn over the tracks); the
  // view as wide as that many cells. The rows' height is read from the
  // style sheet here, once a song (not laid out, so it holds while hidden).
  PatternView.prototype.setChannels = function (count) {
    let html = "";
    for (let c = 0; c < count; c++) {
      html += `<button type="button" class="ch" data-channel="${c}" aria-pressed="false" ` +
        `aria-label="Channel ${c + 1}"><span class="label">${c + 1}</span><span class="meter"></span></button>`;
    }
    this.strip.innerHTML = html + "<canvas class=\"meters\" aria-hidden=\"true\"></canvas>";
    this.meters = this.strip.lastElementChild;
    this.track = null;
    this.shown = new Array(count).fill(0);
    this.silent = new Array(count).fill(false);
    this.pattern = -1;
    this.box.style.setProperty("--channels", String(count));
    const style = getComputedStyle(this.box);
    this.rowHeight = parseFloat(style.getPropertyValue("--row-ems")) * parseFloat(style.fontSize);
    const sight = parseFloat(style.getPropertyValue("--pattern-rows"));
    this.middle = (sight - 1) * this.rowHeight / 2;
    this.reach = Math.ceil(sight / 2);
  };

  // Marks each channel muted or soloed (arrays of booleans).
  PatternView.prototype.setChannelStates = function (muted, soloed) {
    const anySolo = soloed.some(Boolean);
    this.strip.querySelectorAll(".ch").forEach((button, c) => {
      const silent = muted[c] || (anySolo && !soloed[c]);
      this.silent[c] = silent;
      button.classList.toggle("muted", !!muted[c]);
      button.classList.toggle("soloed", !!soloed[c]);
      button.classList.toggle("silent", silent);
      button.setAttribute("aria-pressed", muted[c] ? "true" : "false");
      button.setAttribute("aria-label", `Channel ${c + 1}` + (muted[c] ? ", muted" : "") + (soloed[c] ? ", solo" : ""));
    });
    this.drawMeters();
  };

  // Levels 0..1 per channel; a meter falls back slowly, as a meter does.
  // The canvas is redrawn only when a meter moved.
  PatternView.prototype.setLevels = function (levels) {
    let moved = false;
    for (let c = 0; c < this.shown.length; c++) {
      const level = Math.min(1, levels ? levels[c] || 0 : 0);
      const fallen = this.shown[c] * METER_FALL;
      const height = Math.max(level, fallen < METER_FLOOR ? 0 : fallen);
      if (Math.abs(height - this.shown[c]) < METER_STEP && height > 0) continue;
      if (height === this.shown[c]) continue;
      this.shown[c] = height;
      moved = true;
    }
    if (moved) this.drawMeters();
  };

  // Lays the meters' canvas over the tracks, measured once the strip is on
  // screen (the tracks keep their places: the strip's sizes are in
  // characters). False while the strip is not laid out.
  PatternView.prototype.placeMeters = function () {
    const tracks = this.strip.getElementsByClassName("meter");
    if (!tracks.length) return false;
    const strip = this.strip.getBoundingClientRect();
    const first = tracks[0].getBoundingClientRect();
    if (!first.width) return false;
    const pitch = tracks.length > 1 ? tracks[1].getBoundingClientRect().left - first.left : 0;
    const track = {left: first.left - strip.left, top: first.top - strip.top, width: first.width,
                   height: first.height, pitch};
    const width = pitch * (tracks.length - 1) + track.width;
    const scale = window.devicePixelRatio || 1;
    Object.assign(this.meters.style, {left: `${track.left}px`, top: `${track.top}px`, width: `${width}px`,
                                      height: `${track.height}px`});
    this.meters.width = Math.ceil(width * scale);
    this.meters.height = Math.ceil(track.height * scale);
    const context = this.meters.getContext("2d");
    context.scale(scale, scale);
    track.ink = context.createLinearGradient(0, 0, track.width, 0);
    METER_INKS.forEach(([at, colour]) => track.ink.addColorStop(at, colour));
    this.track = track;
    return true;
  };

  // Draws every meter at its height (silent channels faint); nothing until
  // the strip is laid out.
  PatternView.prototype.drawMeters = function () {
    if (!this.meters || (!this.track && !this.placeMeters())) return;
    const track = this.track;
    const context = this.meters.getContext("2d");
    context.clearRect(0, 0, this.meters.width, this.meters.height);
    context.fillStyle = track.ink;
    this.meterDraws += 1;
    for (let c = 0; c < this.shown.length; c++) {
      if (!this.shown[c]) continue;
      context.globalAlpha = this.silent[c] ? SILENT_METER_ALPHA : 1;
      context.save();
      context.translate(c * track.pitch, 0);
      context.fillRect(0, 0, track.width * this.shown[c], track.height);
      context.restore();
    }
    context.globalAlpha = 1;
  };

  // Takes a pattern's rows (cells: rows x channels x 5 bytes, copied); they
  // are written from the next setRow.
  PatternView.prototype.setPattern = function (pattern, rowCount, channels, cells) {
    if (pattern === this.pattern) return;
    this.clear();
    this.pattern = pattern;
    this.rowCount = rowCount;
    this.channels = channels;
    this.cells = cells.slice(0, rowCount * channels * CELL_BYTES);
  };

  // Moves `row` under the cursor: the rows slide with a transform, which
  // the compositor applies without laying out or painting them. The rows in
  // sight are written in blocks of ROW_BLOCK, so a playing song writes a
  // block (and forgets one) every ROW_BLOCK rows, not a row every row.
  PatternView.prototype.setRow = function (row) {
    if (row === this.row || !this.rowHeight || this.pattern < 0) return;
    this.row = row;
    this.moves += 1;
    const first = Math.floor(Math.max(0, row - this.reach) / ROW_BLOCK) * ROW_BLOCK;
    const last = Math.min(this.rowCount - 1, Math.floor((row + this.reach) / ROW_BLOCK) * ROW_BLOCK + ROW_BLOCK - 1);
    if (first > this.last || last < this.first) {
      this.rows.textContent = "";
      this.first = first;
      this.last = first - 1;
    }
    const write = (r) => rowHtml(this.cells, r, this.channels);
    for (; this.first < first; this.first++) this.rows.firstElementChild.remove();
    for (; this.last > last; this.last--) this.rows.lastElementChild.remove();
    for (; this.first > first; this.first--) this.rows.insertAdjacentHTML("afterbegin", write(this.first - 1));
    for (; this.last < last; this.last++) this.rows.insertAdjacentHTML("beforeend", write(this.last + 1));
    this.rows.dataset.row = row;
    this.rows.style.transform = `translateY(${(this.middle - (row - first) * this.rowHeight).toFixed(2)}px)`;
  };

  PatternView.prototype.clear = function () {
    this.rows.textContent = "";
    this.pattern = -1;
    this.row = -1;
    this.first = 0;
    this.last = -1;
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
  // Numbered in the text: the lists' items are plain blocks (see player.css).
  function showInstruments(list, instruments) {
    list.innerHTML = instruments.map((instrument, i) => {
      const samples = instrument.samples.filter((name) => name.trim())
        .map((name) => `<span class="sample">${escape(name)}</span>`).join("");
      return `<li><span class="index">${i + 1}.</span><span class="instrument${instrument.name.trim() ? "" : " e"}">` +
        `${escape(instrument.name.trim() || "\u2014")}</span>${samples}</li>`;
    }).join("");
  }

  return {formatTime, noteText, volumeText, effectText, rowInks, CELL_CHARS, PatternView, showOrders, markOrder,
    showInstruments};
})();
