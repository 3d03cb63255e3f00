-- Neovim as the language server's client: opens a line description file
-- with a misspelt keyword and writes what it received, one fact a line,
-- to $SB_OUT. Run headless by neovim_test.sh.
local exe = os.getenv('SB_EXE')
local file = os.getenv('SB_FILE')
local out_path = os.getenv('SB_OUT')
local out = {}
local function say(text) table.insert(out, text) end

local function lines_of(text)
  local lines = {}
  for line in (text .. '\n'):gmatch('(.-)\n') do table.insert(lines, line) end
  return lines
end

local function run()
  vim.cmd('edit ' .. vim.fn.fnameescape(file))
  local buf = vim.api.nvim_get_current_buf()
  local id = vim.lsp.start_client({
    name = 'scenario-builder',
    cmd = { exe, 'lsp' },
    root_dir = vim.fn.fnamemodify(file, ':h'),
  })
  assert(id, 'the server did not start')
  assert(vim.lsp.buf_attach_client(buf, id), 'the buffer was not attached')
  local client = vim.lsp.get_client_by_id(id)

  -- Diagnostics as published on open.
  assert(vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 20), 'no diagnostics arrived')
  for _, d in ipairs(vim.diagnostic.get(buf)) do
    say(string.format('diagnostic %d:%d-%d severity %d [%s] %s', d.lnum + 1, d.col, d.end_col, d.severity,
      tostring(d.code), d.message))
  end

  -- Hover on the position of the line board (line 5, its position field).
  local uri = vim.uri_from_bufnr(buf)
  local hover = client.request_sync('textDocument/hover',
    { textDocument = { uri = uri }, position = { line = 4, character = 23 } }, 5000, buf)
  assert(hover and hover.result, 'no hover')
  for _, line in ipairs(lines_of(hover.result.contents.value)) do say('hover | ' .. line) end

  -- Completion in the misspelt keyword.
  local completion = client.request_sync('textDocument/completion',
    { textDocument = { uri = uri }, position = { line = 6, character = 3 } }, 5000, buf)
  assert(completion and completion.result, 'no completion')
  local labels = {}
  for _, item in ipairs(completion.result.items or completion.result) do table.insert(labels, item.label) end
  say('completion ' .. table.concat(labels, ' '))

  -- The quick fix for the typo, applied by Neovim.
  local actions = client.request_sync('textDocument/codeAction', {
    textDocument = { uri = uri },
    range = { start = { line = 6, character = 0 }, ['end'] = { line = 6, character = 0 } },
    context = { diagnostics = vim.lsp.diagnostic.get_line_diagnostics(buf, 6) },
  }, 5000, buf)
  assert(actions and actions.result and actions.result[1], 'no quick fix')
  say('quick fix ' .. actions.result[1].title)
  vim.lsp.util.apply_workspace_edit(actions.result[1].edit, client.offset_encoding)
  for i, line in ipairs(vim.api.nvim_buf_get_lines(buf, 0, -1, false)) do say(string.format('text %d | %s', i, line)) end

  -- The fix reaches the server as a change; its diagnostics clear.
  local cleared = vim.wait(10000, function() return #vim.diagnostic.get(buf) == 0 end, 20)
  say('diagnostics after the fix: ' .. (cleared and '0' or tostring(#vim.diagnostic.get(buf))))

  vim.lsp.stop_client(id)
  vim.wait(5000, function() return vim.lsp.get_client_by_id(id) == nil end, 20)
end

local ok, problem = pcall(run)
if not ok then say('FAILED: ' .. tostring(problem)) end
vim.fn.writefile(out, out_path)
vim.cmd(ok and 'qa!' or 'cq!')
