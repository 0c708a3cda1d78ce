/* The baseline for the launch and memory benchmark: the least a GTK 3 program
 * needs to show a page in WebKitGTK. One window of the application's first
 * size (1100 by 740), one web view with every setting at its default, the
 * URL from the command line loaded at once. Nothing else, so whatever the
 * application costs beyond this is the application's own.
 *
 *   bare_window [--gl=never|always|on-demand] [--cache=viewer|document|browser]
 *               [--ephemeral] [--no-proxy] [--delay=MS] [--prewarm] URL
 *
 * The switches change one thing each, to measure what a setting costs; the
 * baseline uses none of them. */
#include <gtk/gtk.h>
#include <string.h>
#include <webkit2/webkit2.h>

typedef struct {
  const char* gl;
  const char* cache;
  gboolean ephemeral;
  gboolean no_proxy;
  guint delay_ms;
  gboolean prewarm;
  const char* url;
} Options;

static gboolean parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (strncmp(arg, "--gl=", 5) == 0)
      options->gl = arg + 5;
    else if (strncmp(arg, "--cache=", 8) == 0)
      options->cache = arg + 8;
    else if (strcmp(arg, "--ephemeral") == 0)
      options->ephemeral = TRUE;
    else if (strcmp(arg, "--no-proxy") == 0)
      options->no_proxy = TRUE;
    else if (strncmp(arg, "--delay=", 8) == 0)
      options->delay_ms = (guint)g_ascii_strtoull(arg + 8, NULL, 10);
    else if (strcmp(arg, "--prewarm") == 0)
      options->prewarm = TRUE;
    else if (arg[0] == '-' || options->url)
      return FALSE;
    else
      options->url = arg;
  }
  return options->url != NULL;
}

static WebKitWebView* make_view(const Options* options) {
  if (!options->ephemeral && !options->no_proxy && !options->cache)
    return WEBKIT_WEB_VIEW(webkit_web_view_new());

  WebKitWebsiteDataManager* data = options->ephemeral ? webkit_website_data_manager_new_ephemeral()
                                                      : webkit_website_data_manager_new(NULL);
  if (options->no_proxy)
    webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_NO_PROXY,
                                                           NULL);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
  if (options->cache) {
    WebKitCacheModel model = WEBKIT_CACHE_MODEL_WEB_BROWSER;
    if (strcmp(options->cache, "viewer") == 0)
      model = WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER;
    else if (strcmp(options->cache, "document") == 0)
      model = WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER;
    webkit_web_context_set_cache_model(context, model);
  }
  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
  g_object_unref(context);
  g_object_unref(data);
  return view;
}

typedef struct {
  WebKitWebView* web;
  const char* url;
} Load;

static gboolean load_later(gpointer data) {
  const Load* load = data;
  webkit_web_view_load_uri(load->web, load->url);
  return G_SOURCE_REMOVE;
}

int main(int argc, char** argv) {
  Options options = {0};
  if (!parse(argc, argv, &options)) {
    g_printerr("usage: %s [--gl=never|always|on-demand] [--cache=viewer|document|browser] "
               "[--ephemeral] [--no-proxy] [--delay=MS] [--prewarm] URL\n",
               argv[0]);
    return 2;
  }
  gtk_init(&argc, &argv);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bare window");
  gtk_window_set_default_size(GTK_WINDOW(window), 1100, 740);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

  WebKitWebView* web = make_view(&options);
  if (options.gl) {
    WebKitHardwareAccelerationPolicy policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS;
    if (strcmp(options.gl, "never") == 0)
      policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER;
    else if (strcmp(options.gl, "on-demand") == 0)
      policy = WEBKIT_HARDWARE_ACCELERATION_POLICY_ON_DEMAND;
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(web), policy);
  }
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(web));
  // --delay stands for a backend that answers only after so long; --prewarm
  // starts the web process meanwhile with an empty page.
  Load load = {web, options.url};
  if (options.prewarm)
    webkit_web_view_load_uri(web, "about:blank");
  if (options.delay_ms > 0)
    g_timeout_add(options.delay_ms, load_later, &load);
  else
    load_later(&load);

  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
