// The page around the library: it hands files to the WebAssembly module and shows its answers.
// The module's standard output is the library's log, kept for the messages of a failed read.
"use strict";

const logLines = [];
let archive = null; // {path, members} of the archive shown

var Module = {
  print: (line) => logLines.push(line),
  printErr: (line) => logLines.push(line),
  onRuntimeInitialized: () => {
    Module.FS.mkdir("/open");
    Module.FS.mkdir("/view");
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
  info.textContent = "";
  const shows = { picture: showPicture, palette: showPalette, font: showFont, table: showTable };
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

// The picture at 1:1 and zoomed.
function showPicture(answer, body, info) {
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

function showArchive(name, answer) {
  const section = document.getElementById("archive");
  section.hidden = false;
  document.getElementById("archive-title").textContent =
    `${name}: ${answer.format.replace(/\.$/, "")}, ${answer.members.length} members`;
  const rows = answer.members.map((member, index) => {
    const row = element("tr", {}, element("td", { text: member.name }),
      element("td", { class: "num", text: formatSize(member.size) }),
      element("td", { text: formatDate(member.date) }));
    row.dataset.size = member.size;
    row.onclick = () => openMember(index, row);
    return row;
  });
  document.querySelector("#members tbody").replaceChildren(...rows);
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

// A file that the user chose or dropped.
async function openFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const path = "/open/" + file.name.replace(/[\/\\]/g, "_");
  try {
    Module.FS.unlink(path);
  } catch (e) {
    // not there yet
  }
  Module.FS.writeFile(path, bytes);
  const answer = ask("ZemWebDescribe", ["string", "string"], [path, file.name]);
  answer.path = path;
  if (answer.kind === "archive") {
    archive = { path, members: answer.members };
    showArchive(file.name, answer);
    document.getElementById("view").hidden = true;
    document.body.dataset.shown = String(Number(document.body.dataset.shown || 0) + 1);
    return;
  }
  document.getElementById("archive").hidden = true;
  show(file.name, answer);
}

const drop = document.getElementById("drop");
document.getElementById("file").onchange = (e) => {
  if (e.target.files.length) openFile(e.target.files[0]);
  e.target.value = "";
};
drop.ondragover = (e) => {
  e.preventDefault();
  drop.classList.add("over");
};
drop.ondragleave = () => drop.classList.remove("over");
drop.ondrop = (e) => {
  e.preventDefault();
  drop.classList.remove("over");
  if (e.dataTransfer.files.length) openFile(e.dataTransfer.files[0]);
};
document.getElementById("scene-depth").onchange = drawScene;
