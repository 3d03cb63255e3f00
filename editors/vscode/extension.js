// Starts `scenario-builder lsp` for the description files.
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const settings = vscode.workspace.getConfiguration('scenarioDescription');
  const command = settings.get('server.path') || 'scenario-builder';
  const serverOptions = { command, args: ['lsp'] };
  const clientOptions = {
    documentSelector: [{ scheme: 'file', language: 'scenario-description' }],
    initializationOptions: {
      lineFile: settings.get('lineFile') || undefined,
      trainFile: settings.get('trainFile') || undefined,
    },
  };
  client = new LanguageClient('scenarioDescription', 'Scenario description', serverOptions, clientOptions);
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
