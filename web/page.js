// The page around the library: it hands files to the WebAssembly module and shows its answers.
// The module's standard output is the library's log, kept for the messages of a failed read.
"use strict";

const logLines = [];
let archive = null; // {path, name, members} of the archive shown
const opened = []; // {path, name} of every file opened, in order
let toStore = []; // the files chosen for a new archive

var Module = {
  print: (line) => logLines.push(line),
  printErr: (line) => logLines.push(line),
  onRuntimeInitialized: () => {
    for (const folder of ["/open", "/view", "/make", "/make/files"]) Module.FS.mkdir(folder);
    drawScene();
    const ready = performance.now();
    document.getElementById("ready").textContent = `ready in ${Math.round(ready)} ms`;
    window.zemReadyMs = ready;
    document.body.dataset.ready = "1";
  },
};

// Calls the module's function name with string and number arguments; its JSON answer, with the
// log lines that the call wrote.
function ask(name, types, args) {
  logLines.length = 0;
  let answer;
  try {
    const text = Module.ccall(name, "string", types, args);
    answer = JSON.parse(text);
  } catch (e) {
    answer = { kind: "error", message: `the library stopped: ${e.message || e}` };
  }
  answer.log = logLines.slice();
  window.zemAnswer = answer;
  return answer;
}

function element(tag, attributes = {}, ...children) {
  const e = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === "text") e.textContent = value;
    else e.setAttribute(key, value);
  }
  e.append(...children);
  return e;
}

// A canvas with the module's RGBA pixels {width, height, pixels} at 1:1.
function pictureCanvas(image, id) {
  const canvas = element("canvas", { width: image.width, height: image.height });
  if (id) canvas.id = id;
  if (image.width && image.height) {
    const bytes = Module.HEAPU8.slice(image.pixels, image.pixels + 4 * image.width * image.height);
    const data = new ImageData(new Uint8ClampedArray(bytes.buffer), image.width, image.height);
    canvas.getContext("2d").putImageData(data, 0, 0);
  }
  return canvas;
}

function drawScene() {
  const depth = Number(document.getElementById("scene-depth").value);
  const answer = ask("ZemWebScene", ["number"], [depth]);
  if (answer.kind !== "picture") return;
  const canvas = pictureCanvas(answer.image, "scene");
  document.getElementById("scene").replaceWith(canvas);
}

function formatSize(bytes) {
  if (bytes < 1024) return `${bytes} B`;
  if (bytes < 1024 * 1024) return `${(bytes / 1024).toFixed(1)} KiB`;
  return `${(bytes / 1024 / 1024).toFixed(1)} MiB`;
}

function formatDate(seconds) {
  if (!seconds) return "—";
  return new Date(seconds * 1000).toISOString().replace("T", " ").slice(0, 19);
}

// The view of one answer, under a title.
function show(title, answer) {
  const view = document.getElementById("view");
  const body = document.getElementById("view-body");
  const info = document.getElementById("view-info");
  view.hidden = false;
  document.getElementById("view-title").textContent = title;
  body.replaceChildren();
  document.getElementById("view-actions").replaceChildren();
  info.textContent = "";
  answer.name = title;
  const shows = { picture: showPicture, palette: showPalette, font: showFont, table: showTable,
    unknown: showUnknown };
  if (shows[answer.kind]) shows[answer.kind](answer, body, info);
  else showError(answer, body);
  document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
}

function showError(answer, body) {
  const box = element("div", { class: "error", id: "error" });
  box.append(element("strong", { text: `Cannot read this file: ${answer.message}` }));
  if (answer.log && answer.log.length) {
    box.append(element("pre", { id: "error-log", text: answer.log.join("\n") }));
  }
  body.append(box);
}

// Hands the file at path of the module's file system to the browser as a download named name.
function download(path, name) {
  const url = URL.createObjectURL(new Blob([Module.FS.readFile(path)]));
  const link = element("a", { href: url, download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// name with its extension replaced.
function renamed(name, extension) {
  const base = name.split(/[\/\\]/).pop();
  const dot = base.lastIndexOf(".");
  return (dot > 0 ? base.slice(0, dot) : base) + "." + extension;
}

// The picture of answer written in another format and downloaded.
function convertButtons(answer) {
  const actions = document.getElementById("view-actions");
  const error = element("span", { class: "error-line", id: "convert-error" });
  actions.append("Convert to");
  for (const [label, format] of [["BMP", 1], ["PCX", 2], ["TGA", 4]]) {
    const button = element("button", { text: label });
    button.dataset.format = format;
    button.onclick = () => {
      const extension = label.toLowerCase();
      const dest = `/view/converted.${extension}`;
      const result = ask("ZemWebConvert", ["string", "string", "number", "string"],
        [answer.path, answer.name, format, dest]);
      error.textContent = result.kind === "written" ? "" : result.message;
      if (result.kind === "written") download(dest, renamed(answer.name, extension));
    };
    actions.append(button);
  }
  actions.append(error);
}

// Offset, sixteen bytes in hexadecimal and as text, a line.
function hexLines(bytes) {
  const lines = [];
  for (let at = 0; at < bytes.length; at += 16) {
    const row = bytes.subarray(at, at + 16);
    const hex = Array.from(row, (b) => b.toString(16).padStart(2, "0")).join(" ");
    const text = Array.from(row, (b) => (b >= 32 && b < 127 ? String.fromCharCode(b) : ".")).join("");
    lines.push(`${at.toString(16).padStart(8, "0")}  ${hex.padEnd(47)}  ${text}`);
  }
  return lines;
}

const HEX_BYTES = 4096;

// A file the library does not read: its size and its first bytes.
function showUnknown(answer, body, info) {
  const bytes = Module.FS.readFile(answer.path);
  info.textContent = `${formatSize(bytes.length)} (${bytes.length} bytes), ${answer.message}`;
  const shown = bytes.subarray(0, HEX_BYTES);
  if (bytes.length > shown.length) {
    body.append(element("p", { class: "info", text: `the first ${shown.length} bytes:` }));
  }
  body.append(element("pre", { id: "hex", text: hexLines(shown).join("\n") }));
}

// The picture at 1:1 and zoomed.
function showPicture(answer, body, info) {
  convertButtons(answer);
  const { width, height } = answer.image;
  info.textContent = `${answer.format}, ${width} × ${height}, ${answer.bpp} bits per pixel`;
  const plain = pictureCanvas(answer.image, "picture");
  const zoomed = pictureCanvas(answer.image);
  const buttons = element("div", { class: "zoom" });
  const zoomTo = (factor) => {
    zoomed.style.width = `${width * factor}px`;
    zoomed.style.height = `${height * factor}px`;
    for (const b of buttons.children) b.classList.toggle("on", Number(b.dataset.zoom) === factor);
  };
  for (const factor of [2, 4, 8]) {
    const b = element("button", { text: `${factor}×` });
    b.dataset.zoom = factor;
    b.onclick = () => zoomTo(factor);
    buttons.append(b);
  }
  zoomTo(width <= 160 ? 4 : 2);
  body.append(element("div", { class: "pictures" },
    element("figure", {}, plain, element("figcaption", { text: "1:1" })),
    element("figure", {}, zoomed, element("figcaption", {}, buttons))));
}

function showPalette(answer, body, info) {
  info.textContent = `${answer.colors.length} colours`;
  const grid = element("div", { class: "swatches", id: "swatches" });
  answer.colors.forEach(([r, g, b, text], index) => {
    const chip = element("div");
    chip.style.background = `rgb(${r}, ${g}, ${b})`;
    grid.append(element("div", { class: "swatch" }, chip,
      element("span", { text: `${index} ${text}` })));
  });
  body.append(grid);
}

// Calls use with the text as the Latin-1 bytes that fonts index, in the module's memory ("?" for
// what Latin-1 lacks).
function withLatin1(text, use) {
  const bytes = Array.from(text, (c) => (c.codePointAt(0) < 256 ? c.codePointAt(0) : 63));
  const pointer = Module._malloc(bytes.length + 1);
  Module.HEAPU8.set([...bytes, 0], pointer);
  try {
    return use(pointer);
  } finally {
    Module._free(pointer);
  }
}

function showFont(answer, body, info) {
  info.textContent = `"${answer.name}", codes ${answer.range}, ${answer.format} bits per pixel, ` +
    `ascent ${answer.ascent}, descent ${answer.descent}`;
  const sheet = pictureCanvas(answer.sheet, "glyphs");
  sheet.style.width = `${answer.sheet.width * 2}px`;
  const sample = pictureCanvas(answer.sample, "sample");
  sample.style.width = `${answer.sample.width * 2}px`;
  const input = element("input", { type: "text", value: "ZEMBase 0123 Hello!" });
  input.oninput = () => {
    const again = withLatin1(input.value, (text) =>
      ask("ZemWebFontSample", ["string", "number"], [answer.path, text]));
    if (again.kind !== "font") return;
    const fresh = pictureCanvas(again.sample, "sample");
    fresh.style.width = `${again.sample.width * 2}px`;
    document.getElementById("sample").replaceWith(fresh);
  };
  body.append(element("h3", { text: "Glyph sheet" }), element("figure", {}, sheet),
    element("h3", { text: "Sample text" }), input, element("figure", {}, sample));
}

function showTable(answer, body, info) {
  info.textContent = `${answer.what}, ${answer.rows.length} rows`;
  const head = element("tr", {}, ...answer.columns.map((c) => element("th", { text: c })));
  const rows = answer.rows.map((row) =>
    element("tr", {}, ...row.map((cell) => element("td", { text: cell }))));
  body.append(element("table", { id: "table" }, element("thead", {}, head),
    element("tbody", {}, ...rows)));
}

function showArchive(answer) {
  const section = document.getElementById("archive");
  section.hidden = false;
  archive.members = answer.members;
  document.getElementById("archive-title").textContent =
    `${archive.name}: ${answer.format.replace(/\.$/, "")}, ${answer.members.length} members`;
  document.getElementById("archive-error").textContent = "";
  const rows = answer.members.map((member, index) => {
    const name = element("td", { text: member.name });
    const tools = element("td", { class: "tools" });
    const row = element("tr", {}, name,
      element("td", { class: "num", text: formatSize(member.size) }),
      element("td", { text: formatDate(member.date) }), tools);
    row.dataset.size = member.size;
    row.onclick = () => openMember(index, row);
    const actions = { download: () => downloadMember(index), rename: () => startRename(index, name),
      remove: () => editArchive("ZemWebRemove", ["number"], [index]) };
    for (const [label, act] of Object.entries(actions)) {
      const button = element("button", { class: label, text: label });
      button.onclick = (e) => {
        e.stopPropagation();
        act();
      };
      tools.append(button);
    }
    return row;
  });
  document.querySelector("#members tbody").replaceChildren(...rows);
  document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
}

// The member's bytes as the archive holds them.
function downloadMember(index) {
  const name = archive.members[index].name;
  const answer = ask("ZemWebExtract", ["string", "number", "string"],
    [archive.path, index, "/view/download"]);
  if (answer.kind === "written") download("/view/download", name.split(/[\/\\]/).pop());
  else document.getElementById("archive-error").textContent = answer.message;
}

// Calls the module's edit name on the archive shown (its path first), then shows the archive
// as it became, or why the edit failed.
function editArchive(name, types, args) {
  const answer = ask(name, ["string", ...types], [archive.path, ...args]);
  if (answer.kind !== "archive") {
    document.getElementById("archive-error").textContent = answer.message;
    document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
    return;
  }
  document.getElementById("view").hidden = true;
  showArchive(answer);
}

// The member's name becomes a field: Enter renames, Escape leaves the name.
function startRename(index, cell) {
  const input = element("input", { type: "text", value: archive.members[index].name });
  input.onclick = (e) => e.stopPropagation();
  input.onkeydown = (e) => {
    if (e.key === "Enter" && input.value && input.value !== archive.members[index].name) {
      editArchive("ZemWebRename", ["number", "string"], [index, input.value]);
    } else if (e.key === "Escape" || e.key === "Enter") {
      cell.textContent = archive.members[index].name;
    }
  };
  cell.replaceChildren(input);
  input.focus();
  input.select();
}

function openMember(index, row) {
  for (const r of row.parentNode.children) r.classList.toggle("open", r === row);
  const member = archive.members[index];
  const base = member.name.split(/[\/\\]/).pop();
  const dot = base.lastIndexOf(".");
  const dest = "/view/member" + (dot >= 0 ? base.slice(dot) : "");
  const answer = ask("ZemWebOpenMember", ["string", "number", "string"],
    [archive.path, index, dest]);
  answer.path = dest;
  show(member.name, answer);
}

// The list of the files opened; the one shown is marked.
function listFiles(shown) {
  const items = opened.map((entry) => {
    const item = element("li", { text: entry.name });
    item.classList.toggle("open", entry === shown);
    item.onclick = () => showFile(entry);
    return item;
  });
  document.getElementById("file-list").replaceChildren(...items);
  document.getElementById("files").hidden = opened.length === 0;
}

// Shows a file opened before: an archive in its list, anything else in the view.
function showFile(entry) {
  listFiles(entry);
  const answer = ask("ZemWebDescribe", ["string", "string"], [entry.path, entry.name]);
  answer.path = entry.path;
  if (answer.kind === "archive") {
    archive = { path: entry.path, name: entry.name };
    document.getElementById("view").hidden = true;
    showArchive(answer);
    return;
  }
  document.getElementById("archive").hidden = true;
  show(entry.name, answer);
}

// Adds the file at path to the files opened (in place of one of the same path).
function remember(path, name) {
  const index = opened.findIndex((entry) => entry.path === path);
  if (index >= 0) opened.splice(index, 1);
  const entry = { path, name };
  opened.push(entry);
  return entry;
}

function writeFile(path, bytes) {
  try {
    Module.FS.unlink(path);
  } catch (e) {
    // not there yet
  }
  Module.FS.writeFile(path, bytes);
}

// Files that the user chose or dropped: each joins the list, the first is shown.
async function openFiles(files) {
  let first = null;
  for (const file of files) {
    const path = "/open/" + file.name.replace(/[\/\\]/g, "_");
    writeFile(path, new Uint8Array(await file.arrayBuffer()));
    const entry = remember(path, file.name);
    first = first || entry;
  }
  if (first) showFile(first);
}

// The files chosen for a new archive, stored under their names.
function chooseToStore(files) {
  toStore = [...toStore, ...files];
  const items = toStore.map((file) => element("li", { text: `${file.name} (${formatSize(file.size)})` }));
  document.getElementById("make-list").replaceChildren(...items);
  document.getElementById("make-button").disabled = toStore.length === 0;
}

async function makeArchive() {
  const format = Number(document.getElementById("make-format").value);
  const name = renamed(document.getElementById("make-name").value || "new", format === 1 ? "zem" : "pak");
  const paths = [];
  for (const [index, file] of toStore.entries()) {
    paths.push(`/make/files/${index}`);
    writeFile(paths[index], new Uint8Array(await file.arrayBuffer()));
  }
  const path = "/open/" + name.replace(/[\/\\]/g, "_");
  const names = toStore.map((file) => file.name.replace(/[\n\r]/g, "_"));
  const answer = ask("ZemWebCreate", ["number", "string", "string", "string"],
    [format, path, paths.join("\n"), names.join("\n")]);
  if (answer.kind !== "archive") {
    document.getElementById("make-error").textContent = answer.message;
    document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
    return;
  }
  document.getElementById("make-error").textContent = "";
  toStore = [];
  chooseToStore([]);
  showFile(remember(path, name));
}

// A drop zone that hands the files dropped on it, or chosen in its input, to take.
function dropZone(zone, input, take) {
  input.onchange = (e) => {
    take([...e.target.files]);
    e.target.value = "";
  };
  zone.ondragover = (e) => {
    e.preventDefault();
    zone.classList.add("over");
  };
  zone.ondragleave = () => zone.classList.remove("over");
  zone.ondrop = (e) => {
    e.preventDefault();
    zone.classList.remove("over");
    take([...e.dataTransfer.files]);
  };
}

dropZone(document.getElementById("drop"), document.getElementById("file"), openFiles);
dropZone(document.getElementById("make-drop"), document.getElementById("make-files"),
  chooseToStore);
document.getElementById("make-button").onclick = makeArchive;
document.getElementById("archive-download").onclick = () => download(archive.path, archive.name);
document.getElementById("scene-depth").onchange = drawScene;
